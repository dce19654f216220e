#pragma once

#include "PageRange.h"

#include <QString>
#include <QStringList>

// What the command line asks for. Parsing never exits; the caller prints
// the error or the usage text and chooses the exit status.
struct CommandLine {
    enum class Mode { Window, Info, List, Extract, Help, Version, UsageError };
    Mode mode = Mode::Window;
    QStringList files;
    QString outDir;
    QString format = QStringLiteral("PNG");
    double dpi = 72;
    QString pattern = QStringLiteral("$_###");
    std::optional<PageRange> pages; // --pages: only images first found on these pages
    QString error; // for UsageError
};

CommandLine parseCommandLine(const QStringList &arguments);
QString usageText();
