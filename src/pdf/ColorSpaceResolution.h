#pragma once

#include "PdfObject.h"
#include "TColorSpace.h"

#include <QStringList>

#include <memory>

namespace zembrix {

// The record of a /ColorSpace entry (TColorSpace.h): a name gives the family;
// an array gives the family (element 0), the base (element 1), the third
// element as a number (an Indexed space's highest index) and the fourth as
// bytes (its lookup table); a dictionary or stream is read as the list of its
// values in key order. Never null; empty for an invalid entry.
std::shared_ptr<TColorSpace> resolveColorSpace(const PdfObject &entry);

// Fills the record's base from a parameter of the space: a name, an ICC
// profile stream (its data, /N, /Alternate, /Length, /Filter), or a nested
// space array. `depth` counts the nested arrays above it; a base that names
// its own space nests forever, and past kMaxColorSpaceDepth the base stays unset.
inline constexpr int kMaxColorSpaceDepth = 8;
void resolveColorSpaceBase(TColorSpace &record, const PdfObject &parameter, int depth = 0);

} // namespace zembrix
