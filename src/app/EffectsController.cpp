#include "EffectsController.h"

#include "Controller.h"
#include "ThumbnailModel.h"
#include "UndoManager.h"

#include "images/EffectOperation.h"
#include "images/PDFImageStruct.h"

#include <QItemSelectionModel>

#include <algorithm>

namespace zembrix {

namespace {
QString operationName(int code)
{
    switch (static_cast<EffectOperation>(code)) {
    case EffectOperation::Rotate: return EffectsController::tr("Rotate Left");
    case EffectOperation::RotateRight: return EffectsController::tr("Rotate Right");
    case EffectOperation::FlipHorizontal: return EffectsController::tr("Mirror Horizontally");
    case EffectOperation::FlipVertical: return EffectsController::tr("Mirror Vertically");
    case EffectOperation::ResetAngle: return EffectsController::tr("Reset Rotation");
    case EffectOperation::ResetFlip: return EffectsController::tr("Reset Mirror");
    case EffectOperation::ResetEffects: return EffectsController::tr("Reset Colour Effects");
    case EffectOperation::Brightness: return EffectsController::tr("Brightness");
    case EffectOperation::Contrast: return EffectsController::tr("Contrast");
    case EffectOperation::Saturation: return EffectsController::tr("Saturation");
    case EffectOperation::Gamma: return EffectsController::tr("Gamma");
    case EffectOperation::Hue: return EffectsController::tr("Hue");
    }
    return QString();
}
} // namespace

EffectsController::EffectsController(Controller *controller, UndoManager *undo)
    : QObject(controller)
    , m_controller(controller)
    , m_undo(undo)
{
}

void EffectsController::selectedOperation(int code)
{
    if (m_controller->thumbnailSelection()->selectedIndexes().isEmpty())
        return;
    const ImageRecordList records = m_controller->selectedImageRecords();
    for (const auto &record : records)
        applyEffectOperation(*record, code, m_sliders);
    if (!records.isEmpty())
        m_undo->setActionName(operationName(code));
    m_controller->reloadBrowser();
}

void EffectsController::setSliderValue(int code, float value)
{
    switch (static_cast<EffectOperation>(code)) {
    case EffectOperation::Brightness: m_sliders.brightness = value; break;
    case EffectOperation::Contrast: m_sliders.contrast = value; break;
    case EffectOperation::Saturation: m_sliders.saturation = value; break;
    case EffectOperation::Gamma: m_sliders.gamma = value; break;
    case EffectOperation::Hue: m_sliders.hue = value; break;
    default: return;
    }
    selectedOperation(code);
}

void EffectsController::resetEffects()
{
    setSliders(EffectParameters());
}

void EffectsController::resetImageEffects()
{
    resetEffects();
    selectedOperation(int(EffectOperation::ResetEffects));
}

void EffectsController::updateEffectsSliderValues()
{
    if (m_dragging)
        return;
    const QModelIndexList selected = m_controller->thumbnailSelection()->selectedIndexes();
    if (selected.size() >= 2) {
        resetEffects();
        return;
    }
    if (selected.isEmpty())
        return;
    const auto record = m_controller->thumbnailModel()->recordAt(selected.first().row());
    if (!record)
        return;
    setSliders(record->effectParameters());
}

void EffectsController::beginDrag()
{
    m_dragging = true;
    m_undo->hold();
}

void EffectsController::endDrag()
{
    m_dragging = false;
    m_undo->release();
    updateEffectsSliderValues();
}

void EffectsController::setSliders(const EffectParameters &values)
{
    m_sliders = values;
    m_sliders.angle = 0.0f;
    m_sliders.flip = 0;
    emit slidersChanged(m_sliders);
}

} // namespace zembrix
