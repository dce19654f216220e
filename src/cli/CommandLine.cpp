#include "CommandLine.h"
#include "SmallImages.h"

#include <QFile>

#include "export/ExportFormat.h"
#include "export/ExportResolution.h"
#include "images/PDFImageStruct.h"

namespace zembrix {

namespace {

CommandLine usageError(const QString &message)
{
    CommandLine cl;
    cl.mode = CommandLine::Mode::UsageError;
    cl.error = message;
    return cl;
}

} // namespace

QString usageErrorText(const QString &error)
{
    return QStringLiteral("zembrix: %1\nTry 'zembrix --help' for more information.\n").arg(error);
}

QString usageText()
{
    return QStringLiteral(
        "Usage:\n"
        "  zembrix [FILE.pdf ...]                    open the window with these files\n"
        "  zembrix --info FILE.pdf                   print the document information text\n"
        "  zembrix --list FILE.pdf ... [--pages RANGE] [--quiet] [--max-pixels N]\n"
        "          [--no-color-management] [--all-images] [--min-size WxH]\n"
        "                                            list the images found, one line each\n"
        "  zembrix --extract FILE.pdf ... --out DIR [--format NAME] [--dpi N|auto] [--pattern P]\n"
        "          [--pages RANGE] [--quiet] [--max-pixels N] [--no-color-management] [--all-images]\n"
        "          [--min-size WxH] [--manifest FILE.jsonl [--resume]] [--skip-duplicates]\n"
        "                                            write every image of the files to DIR\n"
        "  zembrix --help | --version\n"
        "Every mode that reads files takes [--password PW | --password-file FILE] (its first line);\n"
        "--extract takes [--overwrite].\n"
        "\n"
        "--files-from LIST (with --list and --extract): the files named in LIST too, one a line\n"
        "(\"-\": standard input; --null: separated by NUL bytes instead).\n"
        "Formats: JPEG, JPEG-2000, TIFF, PNG (default), BMP, ICNS, HEIC, Original (the embedded\n"
        "JPEG, JPEG 2000 or fax data unchanged; PNG, with a line saying why, for other images).\n"
        "DPI 72 by default;\n"
        "\"--dpi auto\" writes each image's resolution where the pages first draw it (72 when\n"
        "they never do).\n"
        "Name pattern: \"$\" is the PDF's name, a run of \"#\" the image number (default \"$_###\");\n"
        "no \"/\". A name that comes twice gets \" (2)\", \" (3)\"...; so does a file an earlier\n"
        "export left, unless --overwrite replaces it.\n"
        "Pages: the images first found on these pages only, as in 1-20,31 or 5- (images keep\n"
        "their numbers).\n"

        "--quiet: no line for an image that was found but not decoded.\n"
        "--max-pixels N: images of more than N pixels are skipped (default 500000000).\n"
        "--min-size WxH: images narrower than W or lower than H pixels are not listed or\n"
        "extracted; how many were left out is said at the end.\n"
        "--no-color-management: CMYK, ICC-based and Lab images are converted to RGB by the\n"
        "plain formulas instead of through their colour profiles.\n"
        "--all-images: also the inline images of page contents and the images of annotation\n"
        "appearances and patterns, numbered after the others of their file.\n"
        "In --list output a tab, a newline and a backslash in a field are written \\t, \\n and \\\\.\n"
        "Its last two fields, x-ppi and y-ppi, are the resolution where the pages first draw the\n"
        "image (empty when they never do).\n"
        "--manifest FILE.jsonl: one JSON object per image written or not (status written,\n"
        "duplicate, skipped or failed), each line written as the image is done.\n"
        "--resume: with the manifest of an earlier run, the files whose images it shows written\n"
        "and unchanged are skipped.\n"
        "--skip-duplicates: an image whose pixels equal an earlier one's is not written again.\n");
}

namespace {

// The options met so far, for the checks of what belongs with what.
struct OptionsSeen {
    bool mode = false;
    bool out = false, format = false, dpi = false, pattern = false, pages = false, overwrite = false;
    bool walk = false; // --quiet, --max-pixels, --min-size, --no-color-management, --all-images
    bool filesFrom = false, password = false;
};

// What a reader made of one option: not one of its own, taken, or a usage
// error (`error` set).
struct OptionRead {
    bool taken = false;
    QString error;
};
OptionRead taken()
{
    return {true, {}};
}
OptionRead refused(const QString &error)
{
    return {true, error};
}

// The value after the option at `i`, moving `i` onto it; nothing at the end.
std::optional<QString> optionValue(const QStringList &arguments, qsizetype &i)
{
    if (i + 1 >= arguments.size())
        return std::nullopt;
    return arguments[++i];
}

OptionRead readModeOption(const QString &arg, CommandLine &cl, OptionsSeen &seen)
{
    static const struct {
        const char *option;
        CommandLine::Mode mode;
        const char *conflict;
    } modes[] = {
        {"--help", CommandLine::Mode::Help, "--help cannot be combined with other modes"},
        {"--version", CommandLine::Mode::Version, "--version cannot be combined with other modes"},
        {"--info", CommandLine::Mode::Info, "only one of --info, --list and --extract may be given"},
        {"--list", CommandLine::Mode::List, "only one of --info, --list and --extract may be given"},
        {"--extract", CommandLine::Mode::Extract, "only one of --info, --list and --extract may be given"},
    };
    for (const auto &m : modes) {
        if (arg != QLatin1String(m.option))
            continue;
        if (seen.mode && cl.mode != m.mode)
            return refused(QString::fromLatin1(m.conflict));
        cl.mode = m.mode;
        seen.mode = true;
        return taken();
    }
    return {};
}

// --out, --format, --dpi, --pattern, --pages, --overwrite.
OptionRead readExportOption(const QString &arg, const QStringList &arguments, qsizetype &i, CommandLine &cl,
                            OptionsSeen &seen)
{
    if (arg == QLatin1String("--out")) {
        if (seen.out)
            return refused(QStringLiteral("--out may be given only once"));
        const std::optional<QString> folder = optionValue(arguments, i);
        if (!folder || folder->isEmpty())
            return refused(QStringLiteral("--out needs a folder"));
        cl.outDir = *folder;
        seen.out = true;
    } else if (arg == QLatin1String("--format")) {
        const std::optional<QString> format = optionValue(arguments, i);
        if (!format)
            return refused(QStringLiteral("--format needs a format name"));
        cl.format = *format;
        seen.format = true;
    } else if (arg == QLatin1String("--dpi")) {
        const std::optional<QString> text = optionValue(arguments, i);
        bool ok = false;
        if (!text)
            return refused(QStringLiteral("--dpi needs a positive number or auto"));
        if (*text == QLatin1String("auto"))
            cl.dpi = kPlacedDpi;
        else if ((cl.dpi = text->toDouble(&ok), !ok) || !(cl.dpi >= 1 && cl.dpi <= 100000))
            return refused(QStringLiteral("--dpi needs a positive number or auto"));
        seen.dpi = true;
    } else if (arg == QLatin1String("--pattern")) {
        const std::optional<QString> pattern = optionValue(arguments, i);
        if (!pattern || pattern->isEmpty())
            return refused(QStringLiteral("--pattern needs a name pattern"));
        cl.pattern = *pattern;
        if (const QString problem = PDFImageStruct::namePatternProblem(cl.pattern); !problem.isEmpty())
            return refused(QStringLiteral("--pattern %1: %2").arg(cl.pattern, problem));
        seen.pattern = true;
    } else if (arg == QLatin1String("--pages")) {
        const std::optional<QString> text = optionValue(arguments, i);
        if (!text || !(cl.pages = PageRange::parse(*text)))
            return refused(QStringLiteral("--pages needs pages such as 1-20,31"));
        seen.pages = true;
    } else if (arg == QLatin1String("--overwrite")) {
        cl.overwrite = true;
        seen.overwrite = true;
    } else {
        return {};
    }
    return taken();
}

// How the files are read: --quiet, --no-color-management, --all-images,
// --min-size, --max-pixels, --password, --password-file.
OptionRead readWalkOption(const QString &arg, const QStringList &arguments, qsizetype &i, CommandLine &cl,
                          OptionsSeen &seen)
{
    if (arg == QLatin1String("--password") || arg == QLatin1String("--password-file")) {
        if (seen.password)
            return refused(QStringLiteral("only one of --password and --password-file may be given"));
        const std::optional<QString> text = optionValue(arguments, i);
        if (!text)
            return refused(QStringLiteral("%1 needs a %2")
                               .arg(arg, arg == QLatin1String("--password") ? QStringLiteral("password")
                                                                            : QStringLiteral("file")));
        if (arg == QLatin1String("--password")) {
            cl.password = text->toUtf8();
        } else {
            QFile file(*text);
            if (!file.open(QIODevice::ReadOnly))
                return refused(QStringLiteral("--password-file %1: %2").arg(*text, file.errorString()));
            cl.password = file.readLine(4096);
            while (cl.password.endsWith('\n') || cl.password.endsWith('\r'))
                cl.password.chop(1);
        }
        seen.password = true;
        return taken();
    }
    if (arg == QLatin1String("--quiet")) {
        cl.quiet = true;
    } else if (arg == QLatin1String("--no-color-management")) {
        cl.colorManaged = false;
    } else if (arg == QLatin1String("--all-images")) {
        cl.allImages = true;
    } else if (arg == QLatin1String("--min-size")) {
        const std::optional<QString> text = optionValue(arguments, i);
        if (!text || !(cl.minSize = SmallImages::parseSize(*text)))
            return refused(QStringLiteral("--min-size needs a size such as 32x32"));
    } else if (arg == QLatin1String("--max-pixels")) {
        const std::optional<QString> text = optionValue(arguments, i);
        bool ok = false;
        if (!text || (cl.maxPixels = text->toLongLong(&ok), !ok) || cl.maxPixels < 1)
            return refused(QStringLiteral("--max-pixels needs a positive whole number"));
    } else {
        return {};
    }
    seen.walk = true;
    return taken();
}

// Batch work: --files-from, --null, --manifest, --resume, --skip-duplicates.
OptionRead readBatchOption(const QString &arg, const QStringList &arguments, qsizetype &i, CommandLine &cl,
                           OptionsSeen &seen)
{
    if (arg == QLatin1String("--files-from")) {
        const std::optional<QString> list = seen.filesFrom ? std::nullopt : optionValue(arguments, i);
        if (!list || list->isEmpty())
            return refused(QStringLiteral("--files-from needs one list file (\"-\" for standard input)"));
        cl.filesFrom = *list;
        seen.filesFrom = true;
    } else if (arg == QLatin1String("--null")) {
        cl.nullSeparated = true;
    } else if (arg == QLatin1String("--manifest")) {
        const std::optional<QString> manifest = cl.manifest.isEmpty() ? optionValue(arguments, i) : std::nullopt;
        if (!manifest || manifest->isEmpty())
            return refused(QStringLiteral("--manifest needs one file"));
        cl.manifest = *manifest;
    } else if (arg == QLatin1String("--resume")) {
        cl.resume = true;
    } else if (arg == QLatin1String("--skip-duplicates")) {
        cl.skipDuplicates = true;
    } else {
        return {};
    }
    return taken();
}

// Options given to a mode they do not belong to, and modes missing what
// they need; empty when all is well.
QString combinationProblem(const CommandLine &cl, const OptionsSeen &seen)
{
    const bool extractOptions = seen.out || seen.format || seen.dpi || seen.pattern || seen.overwrite;
    const QString extractOnly = QStringLiteral("--out, --format, --dpi, --pattern and --overwrite belong to --extract");
    const QString walkOnly = QStringLiteral(
        "--quiet, --max-pixels, --min-size, --no-color-management and --all-images belong to --list and --extract");
    const QString pagesOnly = QStringLiteral("--pages belongs to --list and --extract");
    if (cl.nullSeparated && !seen.filesFrom)
        return QStringLiteral("--null belongs to --files-from");
    if (seen.filesFrom && cl.mode != CommandLine::Mode::List && cl.mode != CommandLine::Mode::Extract)
        return QStringLiteral("--files-from belongs to --list and --extract");
    if ((!cl.manifest.isEmpty() || cl.resume || cl.skipDuplicates) && cl.mode != CommandLine::Mode::Extract)
        return QStringLiteral("--manifest, --resume and --skip-duplicates belong to --extract");
    if (cl.resume && cl.manifest.isEmpty())
        return QStringLiteral("--resume needs --manifest FILE");
    switch (cl.mode) {
    case CommandLine::Mode::Info:
        if (seen.pages)
            return pagesOnly;
        if (cl.files.size() != 1)
            return QStringLiteral("--info takes exactly one file");
        if (extractOptions)
            return extractOnly;
        if (seen.walk)
            return walkOnly;
        break;
    case CommandLine::Mode::List:
        if (cl.files.isEmpty() && !seen.filesFrom)
            return QStringLiteral("--list needs at least one file");
        if (extractOptions)
            return extractOnly;
        break;
    case CommandLine::Mode::Extract:
        if (cl.files.isEmpty() && !seen.filesFrom)
            return QStringLiteral("--extract needs at least one file");
        if (!seen.out)
            return QStringLiteral("--extract needs --out DIR");
        if (!ExportFormat::indexOfNameIgnoringCase(cl.format))
            return QStringLiteral("unknown format \"%1\"; the formats are %2")
                .arg(cl.format, ExportFormat::names().join(QStringLiteral(", ")));
        break;
    case CommandLine::Mode::Window:
        if (seen.password)
            return QStringLiteral("--password and --password-file belong to --info, --list and --extract");
        if (seen.pages)
            return pagesOnly;
        if (extractOptions)
            return extractOnly;
        if (seen.walk)
            return walkOnly;
        break;
    case CommandLine::Mode::Help:
    case CommandLine::Mode::Version:
    case CommandLine::Mode::UsageError: break;
    }
    return {};
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine cl;
    OptionsSeen seen;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
            cl.files << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        OptionRead read = readModeOption(arg, cl, seen);
        if (!read.taken)
            read = readExportOption(arg, arguments, i, cl, seen);
        if (!read.taken)
            read = readWalkOption(arg, arguments, i, cl, seen);
        if (!read.taken)
            read = readBatchOption(arg, arguments, i, cl, seen);
        if (!read.taken)
            return usageError(QStringLiteral("unknown option %1").arg(arg));
        if (!read.error.isEmpty())
            return usageError(read.error);
    }
    if (const QString problem = combinationProblem(cl, seen); !problem.isEmpty())
        return usageError(problem);
    return cl;
}

} // namespace zembrix
