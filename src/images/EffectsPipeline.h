#pragma once

#include "images/EffectParameters.h"

#include <QImage>

namespace zembrix {

// The rendering of an edited picture from its unedited image: rotate by
// `angle`, then mirror by `flip` (so a mirror acts on the already turned
// picture), then the colour stage. Nothing is cached; every call works from
// the image it is given. Safe on any thread.

// The colour stage alone (colour controls, gamma, hue; see ColorEffects.h).
// With the five colour values neutral the image comes back unchanged.
QImage applyImageEffects(QImage image, const EffectParameters &parameters);

// The whole chain. A null image gives a null image; with every value neutral
// the source comes back unchanged (same pixels, same format).
QImage applyAllEffects(QImage source, const EffectParameters &parameters);

} // namespace zembrix
