#pragma once

#include "PdfObject.h"

#include <QStringList>

namespace zembrix {

// The filter names of a /Filter entry as written ("/FlateDecode"): an
// array's element texts, a name's text; an empty list for anything else.
QStringList filterNamesOf(const PdfObject &entry);

} // namespace zembrix
