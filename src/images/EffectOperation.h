#pragma once

#include "images/EffectParameters.h"

namespace zembrix {

class PDFImageStruct;

// The edit commands that act on each selected image. The codes 0 to 10 are
// the dispatcher's; RotateRight is the clockwise turn of the window's button.
enum class EffectOperation {
    Rotate = 0,         // angle + 90 (counter-clockwise), 360 becomes 0
    FlipHorizontal = 1, // switches the left-right mirror bit
    FlipVertical = 2,   // switches the top-bottom mirror bit
    ResetAngle = 3,
    ResetFlip = 4,
    ResetEffects = 5, // all five colour values from the sliders, one step
    Brightness = 6,
    Contrast = 7,
    Saturation = 8,
    Gamma = 9,
    Hue = 10,
    RotateRight = 11, // angle - 90, kept in 0 to 270
};

// The angle after one turn left (+90) or right (-90).
float turnedLeft(float angle);
float turnedRight(float angle);
// Mirror code with the left-right (bit value 2) or top-bottom (1) bit switched.
int flippedHorizontally(int code);
int flippedVertically(int code);

// Applies one command to one record through its setters (each registers its
// undo step). `sliders` gives the colour values the colour commands set.
// Unknown codes do nothing. Main thread.
void applyEffectOperation(PDFImageStruct &record, int code, const EffectParameters &sliders);

} // namespace zembrix
