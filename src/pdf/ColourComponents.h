#pragma once

#include <qpdf/QPDFObjectHandle.hh>

namespace zembrix {

// The colour components of a colour space object (a name or an array, as a
// resource dictionary or an image holds it, abbreviated names included);
// 0 when unknown.
int colourSpaceComponents(QPDFObjectHandle space);

} // namespace zembrix
