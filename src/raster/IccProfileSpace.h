#pragma once

#include <cstddef>
#include <cstring>

namespace zembrix {

// The colour space of an ICC profile's data, from its header's signature.
enum class IccDataSpace { Unknown, Gray, RGB, CMYK, Lab, Other };

// Unknown for bytes too short to hold a profile header.
inline IccDataSpace iccProfileDataSpace(const void *profile, size_t size)
{
    if (!profile || size < 128)
        return IccDataSpace::Unknown;
    const char *signature = static_cast<const char *>(profile) + 16;
    struct Named {
        const char *signature;
        IccDataSpace space;
    };
    for (const Named &named : {Named{"GRAY", IccDataSpace::Gray}, Named{"RGB ", IccDataSpace::RGB},
                               Named{"CMYK", IccDataSpace::CMYK}, Named{"Lab ", IccDataSpace::Lab}})
        if (std::memcmp(signature, named.signature, 4) == 0)
            return named.space;
    return IccDataSpace::Other;
}

} // namespace zembrix
