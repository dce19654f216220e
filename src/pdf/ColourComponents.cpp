#include "ColourComponents.h"

#include "SpotColorSpace.h"

#include <exception>

namespace zembrix {

int colourSpaceComponents(QPDFObjectHandle space)
{
    try {
        QPDFObjectHandle family = space.isArray() && space.getArrayNItems() > 0 ? space.getArrayItem(0) : space;
        if (!family.isName())
            return 0;
        const std::string name = family.getName();
        if (name == "/DeviceGray" || name == "/G" || name == "/CalGray" || name == "/Indexed" || name == "/I"
            || name == "/Separation")
            return 1;
        if (name == "/DeviceRGB" || name == "/RGB" || name == "/CalRGB" || name == "/Lab")
            return 3;
        if (name == "/DeviceCMYK" || name == "/CMYK")
            return 4;
        if (!space.isArray() || space.getArrayNItems() < 2)
            return 0;
        QPDFObjectHandle second = space.getArrayItem(1);
        if (name == "/DeviceN" && second.isArray() && second.getArrayNItems() <= SpotColorSpace::kMaxColourants)
            return second.getArrayNItems();
        if (name == "/ICCBased" && second.isStream()) {
            QPDFObjectHandle n = second.getDict().getKey("/N");
            return n.isInteger() && n.getIntValue() >= 1 && n.getIntValue() <= 32 ? int(n.getIntValue()) : 0;
        }
    } catch (const std::exception &) {
    }
    return 0;
}

} // namespace zembrix
