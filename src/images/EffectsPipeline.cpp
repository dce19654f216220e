#include "images/EffectsPipeline.h"

#include "images/ColorEffects.h"
#include "images/GeometryEffects.h"

namespace zembrix {

QImage applyImageEffects(QImage image, const EffectParameters &parameters)
{
    return applyColorEffects(std::move(image), parameters);
}

QImage applyAllEffects(QImage source, const EffectParameters &parameters)
{
    if (source.isNull() || parameters.isNeutral())
        return source;
    QImage turned = rotate(std::move(source), parameters.angle);
    QImage mirrored = mirror(std::move(turned), parameters.flip);
    return applyImageEffects(std::move(mirrored), parameters);
}

} // namespace zembrix
