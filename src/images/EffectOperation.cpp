#include "images/EffectOperation.h"

#include "images/PDFImageStruct.h"

#include <cmath>

namespace zembrix {

float turnedLeft(float angle)
{
    const float turned = angle + 90.0f;
    return static_cast<long long>(turned) % 360 == 0 ? 0.0f : turned;
}

float turnedRight(float angle)
{
    float turned = std::fmod(angle - 90.0f, 360.0f);
    if (turned < 0.0f)
        turned += 360.0f;
    return static_cast<long long>(turned) % 360 == 0 ? 0.0f : turned;
}

int flippedHorizontally(int code)
{
    if (code == 2)
        return 0;
    if (code == 3)
        return 1;
    return code + 2;
}

int flippedVertically(int code)
{
    if (code == 1)
        return 0;
    if (code == 3)
        return 2;
    return code + 1;
}

void applyEffectOperation(PDFImageStruct &record, int code, const EffectParameters &sliders)
{
    switch (static_cast<EffectOperation>(code)) {
    case EffectOperation::Rotate: record.setAngle(turnedLeft(record.angle())); break;
    case EffectOperation::RotateRight: record.setAngle(turnedRight(record.angle())); break;
    case EffectOperation::FlipHorizontal: record.setFlip(flippedHorizontally(record.flip())); break;
    case EffectOperation::FlipVertical: record.setFlip(flippedVertically(record.flip())); break;
    case EffectOperation::ResetAngle: record.setAngle(0.0f); break;
    case EffectOperation::ResetFlip: record.setFlip(0); break;
    case EffectOperation::ResetEffects: {
        const float five[5] = {sliders.brightness, sliders.contrast, sliders.saturation, sliders.gamma, sliders.hue};
        record.resetAll(five);
        break;
    }
    case EffectOperation::Brightness: record.setBrightness(sliders.brightness); break;
    case EffectOperation::Contrast: record.setContrast(sliders.contrast); break;
    case EffectOperation::Saturation: record.setSaturation(sliders.saturation); break;
    case EffectOperation::Gamma: record.setGamma(sliders.gamma); break;
    case EffectOperation::Hue: record.setHue(sliders.hue); break;
    }
}

} // namespace zembrix
