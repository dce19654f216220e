#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

namespace zembrix {

// Reads a PDF date string (ISO 32000-1 7.9.4): "D:YYYYMMDDHHmmSSOHH'mm'",
// the "D:" prefix and every field after the year optional. The result is in
// UTC. Gives none when the text is not a date.
std::optional<QDateTime> parsePdfDate(const QByteArray &text);

} // namespace zembrix
