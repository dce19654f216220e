#pragma once

namespace zembrix {

// The edits of one image, in the units the effects chain takes them:
// `angle` and `hue` in degrees, `brightness` an offset added to every colour
// component (components range 0 to 1), `contrast` and `saturation` factors,
// `gamma` the exponent of the gamma step, `flip` the mirror code (bit value 1
// mirrors top to bottom, bit value 2 left to right). Values are kept exactly as
// given; nothing here clamps or rounds them.
struct EffectParameters {
    float angle = 0.0f;
    int flip = 0;
    float brightness = 0.0f;
    float contrast = 1.0f;
    float saturation = 1.0f;
    float gamma = 1.0f;
    float hue = 0.0f;

    // True when the colour values are all at their neutral values
    // (brightness 0, contrast 1, saturation 1, gamma 1, hue 0).
    bool isColorNeutral() const
    {
        return brightness == 0.0f && contrast == 1.0f && saturation == 1.0f && gamma == 1.0f && hue == 0.0f;
    }

    // True when angle 0, mirror code 0 and every colour value is neutral: the
    // chain then gives back its input unchanged.
    bool isNeutral() const { return angle == 0.0f && flip == 0 && isColorNeutral(); }
};

} // namespace zembrix
