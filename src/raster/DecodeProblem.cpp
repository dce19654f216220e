#include "DecodeProblem.h"

namespace zembrix {

QString decodeCauseText(DecodeCause cause)
{
    switch (cause) {
    case DecodeCause::None: break;
    case DecodeCause::TooManyColourants: return QStringLiteral("too many colourants");
    case DecodeCause::TintProgramFailed: return QStringLiteral("tint program failed");
    case DecodeCause::UnsupportedBitsPerComponent: return QStringLiteral("unsupported bits per component");
    case DecodeCause::LzwTableOverflow: return QStringLiteral("LZW table overflow");
    case DecodeCause::BadFaxData: return QStringLiteral("bad fax data");
    case DecodeCause::BadJbig2Data: return QStringLiteral("bad JBIG2 data");
    case DecodeCause::DamagedFile: return QStringLiteral("damaged file");
    }
    return {};
}

} // namespace zembrix
