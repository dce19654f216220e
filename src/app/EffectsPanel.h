#pragma once

#include "images/EffectParameters.h"

#include <QWidget>

class QLabel;
class QSlider;

namespace zembrix {

class Actions;
class EffectsController;

// The floating effects panel: five sliders (brightness, contrast,
// saturation, gamma, hue in degrees) with their values, a reset button and
// the rotate and mirror buttons. The sliders show the EffectsController's
// values; moving one sets the value on the selected images at once, and the
// thumbnails follow from their reduced copies on the loader's threads. A
// drag is one undo step. Main thread.
class EffectsPanel : public QWidget
{
    Q_OBJECT
public:
    EffectsPanel(EffectsController *effects, Actions *actions, QWidget *parent);

    // The slider of a colour command (EffectOperation 6 to 10).
    QSlider *slider(int code) const;

    // Slider positions: hundredths, on a log scale for contrast and gamma
    // (0.25 to 4), degrees for hue.
    static int positionOf(int code, float value);
    static float valueAt(int code, int position);

signals:
    void visibilityChanged(bool visible);
    // A command of the panel ended: the keyboard goes back to the window.
    void done();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showValues(const EffectParameters &values);

    EffectsController *m_effects;
    QSlider *m_sliders[5] = {};
    QLabel *m_values[5] = {};
};

} // namespace zembrix
