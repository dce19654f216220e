#pragma once

#include <QImage>

namespace zembrix {

struct EffectParameters;

// The colour stage of the effects chain: three filters in a fixed order, each
// with the inputs and neutral values of the classic colour-controls, gamma and
// hue filters. Components are the stored (gamma-encoded) 8-bit values scaled
// to 0..1, taken without premultiplied alpha; alpha is never changed.
//
//  1. Colour controls, in this order:
//       saturation  c = L + saturation * (c - L), L = 0.2125 R + 0.7154 G + 0.0721 B
//                   (Rec. 709 luminance; 0 gives grey, 1 the colour unchanged)
//       brightness  c = c + brightness
//       contrast    c = (c - 0.5) * contrast + 0.5
//     and the result clamped to 0..1.
//  2. Gamma: c = c ^ gamma, clamped to 0..1 (so gamma 0 or below gives white).
//  3. Hue: rotation of the colour about the grey axis by hue degrees, with the
//     luminance-preserving matrix of the W3C Filter Effects "hueRotate" colour
//     matrix (luminance weights 0.213, 0.715, 0.072):
//         | .213 .715 .072 |         | .787 -.715 -.072 |         | -.213 -.715  .928 |
//         | .213 .715 .072 | + cos * | -.213 .285 -.072 | + sin * |  .143  .140 -.283 |
//         | .213 .715 .072 |         | -.213 -.715 .928 |         | -.787  .715  .072 |
//     applied to (R, G, B) as a column vector, then clamped to 0..1. The angle
//     goes through a 32-bit float in radians, hue * pi / 180. Positive angles
//     move red towards green.
// The result is rounded to the nearest 8-bit level. The fast paths (lookup
// tables, fixed-point and single-precision arithmetic) stay within one level
// of evaluating these formulas in double precision. A non-finite value acts as
// its neutral value. Work is single-threaded; the function keeps no state and
// may run on any thread.

// Runs the colour stage over `image`. A null image gives a null image; with all
// five values neutral the image comes back untouched (format included).
// Otherwise the pixels are first converted once to Format_ARGB32 (images with
// alpha) or Format_RGB32 (opaque images; grey, indexed and 16-bit images
// included, which are reduced to 8 bits per component) and processed in place,
// so passing an image that nothing else shares avoids a copy.
QImage applyColorEffects(QImage image, const EffectParameters &parameters);

} // namespace zembrix
