#include "EffectsPanel.h"

#include "Actions.h"
#include "EffectsController.h"

#include "images/EffectOperation.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace zembrix {

namespace {
constexpr int kFirst = int(EffectOperation::Brightness);

struct SliderKind {
    const char *title;
    int minimum;
    int maximum;
};
// Brightness -1 to 1, contrast 0.25 to 4 (log), saturation 0 to 2, gamma
// 0.25 to 4 (log), hue -180 to 180 degrees; every range holds its neutral value.
const SliderKind kKinds[5] = {
    {QT_TRANSLATE_NOOP("EffectsPanel", "Brightness"), -100, 100},
    {QT_TRANSLATE_NOOP("EffectsPanel", "Contrast"), -200, 200},
    {QT_TRANSLATE_NOOP("EffectsPanel", "Saturation"), 0, 200},
    {QT_TRANSLATE_NOOP("EffectsPanel", "Gamma"), -200, 200},
    {QT_TRANSLATE_NOOP("EffectsPanel", "Hue"), -180, 180},
};

bool logScale(int code)
{
    return code == int(EffectOperation::Contrast) || code == int(EffectOperation::Gamma);
}

float valueOf(const EffectParameters &p, int code)
{
    switch (static_cast<EffectOperation>(code)) {
    case EffectOperation::Brightness: return p.brightness;
    case EffectOperation::Contrast: return p.contrast;
    case EffectOperation::Saturation: return p.saturation;
    case EffectOperation::Gamma: return p.gamma;
    default: return p.hue;
    }
}

QString valueText(int code, float value)
{
    if (code == int(EffectOperation::Hue))
        return QStringLiteral("%1\u00b0").arg(qRound(value));
    return QString::number(value, 'f', 2);
}
} // namespace

int EffectsPanel::positionOf(int code, float value)
{
    if (code == int(EffectOperation::Hue))
        return int(std::lround(value));
    if (logScale(code))
        return value > 0.0f ? int(std::lround(std::log2(value) * 100.0)) : kKinds[code - kFirst].minimum;
    return int(std::lround(value * 100.0));
}

float EffectsPanel::valueAt(int code, int position)
{
    if (code == int(EffectOperation::Hue))
        return float(position);
    if (logScale(code))
        return float(std::round(std::exp2(position / 100.0) * 1000.0) / 1000.0);
    return float(position / 100.0);
}

EffectsPanel::EffectsPanel(EffectsController *effects, Actions *actions, QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , m_effects(effects)
{
    setObjectName(QStringLiteral("imageEfectsPanel"));
    setWindowTitle(tr("Effects"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    for (int i = 0; i < 5; ++i) {
        const int code = kFirst + i;
        auto *title = new QLabel(tr(kKinds[i].title));
        auto *slider = new QSlider(Qt::Horizontal);
        slider->setObjectName(QString::fromLatin1(kKinds[i].title).toLower());
        slider->setRange(kKinds[i].minimum, kKinds[i].maximum);
        slider->setMinimumWidth(120);
        slider->setPageStep(10);
        auto *value = new QLabel;
        value->setMinimumWidth(44);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(title, i, 0);
        grid->addWidget(slider, i, 1);
        grid->addWidget(value, i, 2);
        m_sliders[i] = slider;
        m_values[i] = value;
        connect(slider, &QSlider::sliderPressed, m_effects, &EffectsController::beginDrag);
        connect(slider, &QSlider::sliderReleased, this, [this] {
            m_effects->endDrag();
            emit done();
        });
        connect(slider, &QSlider::valueChanged, this, [this, code, value](int position) {
            const float v = valueAt(code, position);
            value->setText(valueText(code, v));
            m_effects->setSliderValue(code, v);
        });
    }
    layout->addLayout(grid);
    auto *rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);

    // Two by two, so that the panel stays narrow beside the browser.
    auto *edits = new QGridLayout;
    edits->setSpacing(6);
    int place = 0;
    for (QAction *action :
         {actions->rotateLeft, actions->rotateRight, actions->flipHorizontal, actions->flipVertical}) {
        auto *button = new QToolButton;
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        edits->addWidget(button, place / 2, place % 2);
        ++place;
        connect(button, &QToolButton::clicked, this, &EffectsPanel::done);
    }
    layout->addLayout(edits);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *reset = new QPushButton(tr("Reset"));
    reset->setObjectName(QStringLiteral("resetEffects"));
    reset->setToolTip(tr("Neutral colour values for the selected images; rotation and mirror stay"));
    connect(reset, &QPushButton::clicked, this, [this] {
        m_effects->resetImageEffects();
        emit done();
    });
    buttons->addWidget(reset);
    layout->addLayout(buttons);
    layout->addStretch(1);

    connect(m_effects, &EffectsController::slidersChanged, this, &EffectsPanel::showValues);
    showValues(m_effects->sliders());
    // Undo, redo and the stop key work while the panel is the active window.
    addActions({actions->undo, actions->redo, actions->stop, actions->showEffectsPanel});
}

QSlider *EffectsPanel::slider(int code) const
{
    const int i = code - kFirst;
    return i >= 0 && i < 5 ? m_sliders[i] : nullptr;
}

void EffectsPanel::showValues(const EffectParameters &values)
{
    for (int i = 0; i < 5; ++i) {
        const int code = kFirst + i;
        const float v = valueOf(values, code);
        const QSignalBlocker block(m_sliders[i]);
        m_sliders[i]->setValue(positionOf(code, v));
        m_values[i]->setText(valueText(code, v));
    }
}

void EffectsPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    emit visibilityChanged(true);
}

void EffectsPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A drag cut short by closing the panel still ends its undo step.
    if (m_effects->isDragging())
        m_effects->endDrag();
    emit visibilityChanged(false);
}

} // namespace zembrix
