#pragma once

#include "images/EffectParameters.h"

#include <QObject>

namespace zembrix {

class Controller;
class UndoManager;

// The effects commands of the window: the five slider values (the model the
// effects panel shows), the dispatcher that applies a command to every
// selected image, and the sliders following the selection and the undo
// history. Main thread.
class EffectsController : public QObject
{
    Q_OBJECT
public:
    EffectsController(Controller *controller, UndoManager *undo);

    // The slider values; only the colour members are used.
    const EffectParameters &sliders() const { return m_sliders; }

    // Applies the command (EffectOperation) to each selected image, in
    // ascending browser order, as one undo step. Nothing without a selection.
    void selectedOperation(int code);
    // A slider moved: the value is stored and set on the selected images.
    void setSliderValue(int code, float value);
    // Sliders to the neutral values; no image changes.
    void resetEffects();
    // The panel's reset: neutral sliders, then the neutral colour values on
    // every selected image; angle and mirror stay.
    void resetImageEffects();
    // Neutral sliders with several images selected, the image's values with
    // one, unchanged with none. Not while a slider is dragged.
    void updateEffectsSliderValues();

    // A slider drag: one undo step from press to release.
    void beginDrag();
    void endDrag();
    bool isDragging() const { return m_dragging; }

signals:
    void slidersChanged(const EffectParameters &values);

private:
    void setSliders(const EffectParameters &values);

    Controller *m_controller;
    UndoManager *m_undo;
    EffectParameters m_sliders;
    bool m_dragging = false;
};

} // namespace zembrix
