#include "CommandLine.h"
#include "SmallImages.h"

#include <QFile>

#include "export/ExportFormat.h"
#include "export/ExportResolution.h"
#include "images/PDFImageStruct.h"

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

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine cl;
    bool modeSet = false;
    bool optionsEnded = false;
    auto setMode = [&](CommandLine::Mode mode) {
        if (modeSet && cl.mode != mode)
            return false;
        cl.mode = mode;
        modeSet = true;
        return true;
    };
    bool outSeen = false, formatSeen = false, dpiSeen = false, patternSeen = false, pagesSeen = false;
    bool walkOptionsSeen = false;
    bool filesFromSeen = false;
    bool passwordSeen = false, overwriteSeen = false;
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
        auto value = [&](QString *out) {
            if (i + 1 >= arguments.size())
                return false;
            *out = arguments[++i];
            return true;
        };
        if (arg == QLatin1String("--help")) {
            if (!setMode(CommandLine::Mode::Help))
                return usageError(QStringLiteral("--help cannot be combined with other modes"));
        } else if (arg == QLatin1String("--version")) {
            if (!setMode(CommandLine::Mode::Version))
                return usageError(QStringLiteral("--version cannot be combined with other modes"));
        } else if (arg == QLatin1String("--info")) {
            if (!setMode(CommandLine::Mode::Info))
                return usageError(QStringLiteral("only one of --info, --list and --extract may be given"));
        } else if (arg == QLatin1String("--list")) {
            if (!setMode(CommandLine::Mode::List))
                return usageError(QStringLiteral("only one of --info, --list and --extract may be given"));
        } else if (arg == QLatin1String("--extract")) {
            if (!setMode(CommandLine::Mode::Extract))
                return usageError(QStringLiteral("only one of --info, --list and --extract may be given"));
        } else if (arg == QLatin1String("--out")) {
            if (outSeen)
                return usageError(QStringLiteral("--out may be given only once"));
            if (!value(&cl.outDir) || cl.outDir.isEmpty())
                return usageError(QStringLiteral("--out needs a folder"));
            outSeen = true;
        } else if (arg == QLatin1String("--format")) {
            if (!value(&cl.format))
                return usageError(QStringLiteral("--format needs a format name"));
            formatSeen = true;
        } else if (arg == QLatin1String("--dpi")) {
            QString text;
            bool ok = false;
            if (!value(&text))
                return usageError(QStringLiteral("--dpi needs a positive number or auto"));
            if (text == QLatin1String("auto"))
                cl.dpi = kPlacedDpi;
            else if ((cl.dpi = text.toDouble(&ok), !ok) || !(cl.dpi >= 1 && cl.dpi <= 100000))
                return usageError(QStringLiteral("--dpi needs a positive number or auto"));
            dpiSeen = true;
        } else if (arg == QLatin1String("--pattern")) {
            if (!value(&cl.pattern) || cl.pattern.isEmpty())
                return usageError(QStringLiteral("--pattern needs a name pattern"));
            if (const QString problem = PDFImageStruct::namePatternProblem(cl.pattern); !problem.isEmpty())
                return usageError(QStringLiteral("--pattern %1: %2").arg(cl.pattern, problem));
            patternSeen = true;
        } else if (arg == QLatin1String("--pages")) {
            QString text;
            if (!value(&text) || !(cl.pages = PageRange::parse(text)))
                return usageError(QStringLiteral("--pages needs pages such as 1-20,31"));
            pagesSeen = true;
        } else if (arg == QLatin1String("--quiet")) {
            cl.quiet = true;
            walkOptionsSeen = true;
        } else if (arg == QLatin1String("--no-color-management")) {
            cl.colorManaged = false;
            walkOptionsSeen = true;
        } else if (arg == QLatin1String("--all-images")) {
            cl.allImages = true;
            walkOptionsSeen = true;
        } else if (arg == QLatin1String("--password") || arg == QLatin1String("--password-file")) {
            QString text;
            if (passwordSeen)
                return usageError(QStringLiteral("only one of --password and --password-file may be given"));
            if (!value(&text))
                return usageError(QStringLiteral("%1 needs a %2").arg(arg, arg == QLatin1String("--password")
                                                                              ? QStringLiteral("password")
                                                                              : QStringLiteral("file")));
            if (arg == QLatin1String("--password")) {
                cl.password = text.toUtf8();
            } else {
                QFile file(text);
                if (!file.open(QIODevice::ReadOnly))
                    return usageError(QStringLiteral("--password-file %1: %2").arg(text, file.errorString()));
                cl.password = file.readLine(4096);
                while (cl.password.endsWith('\n') || cl.password.endsWith('\r'))
                    cl.password.chop(1);
            }
            passwordSeen = true;
        } else if (arg == QLatin1String("--overwrite")) {
            cl.overwrite = true;
            overwriteSeen = true;
        } else if (arg == QLatin1String("--min-size")) {
            QString text;
            if (!value(&text) || !(cl.minSize = SmallImages::parseSize(text)))
                return usageError(QStringLiteral("--min-size needs a size such as 32x32"));
            walkOptionsSeen = true;
        } else if (arg == QLatin1String("--max-pixels")) {
            QString text;
            bool ok = false;
            if (!value(&text) || (cl.maxPixels = text.toLongLong(&ok), !ok) || cl.maxPixels < 1)
                return usageError(QStringLiteral("--max-pixels needs a positive whole number"));
            walkOptionsSeen = true;
        } else if (arg == QLatin1String("--files-from")) {
            if (filesFromSeen || !value(&cl.filesFrom) || cl.filesFrom.isEmpty())
                return usageError(QStringLiteral("--files-from needs one list file (\"-\" for standard input)"));
            filesFromSeen = true;
        } else if (arg == QLatin1String("--null")) {
            cl.nullSeparated = true;
        } else if (arg == QLatin1String("--manifest")) {
            if (!cl.manifest.isEmpty() || !value(&cl.manifest) || cl.manifest.isEmpty())
                return usageError(QStringLiteral("--manifest needs one file"));
        } else if (arg == QLatin1String("--resume")) {
            cl.resume = true;
        } else if (arg == QLatin1String("--skip-duplicates")) {
            cl.skipDuplicates = true;
        } else {
            return usageError(QStringLiteral("unknown option %1").arg(arg));
        }
    }

    const bool extractOptions = outSeen || formatSeen || dpiSeen || patternSeen || overwriteSeen;
    if (cl.nullSeparated && !filesFromSeen)
        return usageError(QStringLiteral("--null belongs to --files-from"));
    if (filesFromSeen && cl.mode != CommandLine::Mode::List && cl.mode != CommandLine::Mode::Extract)
        return usageError(QStringLiteral("--files-from belongs to --list and --extract"));
    if ((!cl.manifest.isEmpty() || cl.resume || cl.skipDuplicates) && cl.mode != CommandLine::Mode::Extract)
        return usageError(QStringLiteral("--manifest, --resume and --skip-duplicates belong to --extract"));
    if (cl.resume && cl.manifest.isEmpty())
        return usageError(QStringLiteral("--resume needs --manifest FILE"));
    const QString walkOptionsMisplaced = QStringLiteral("--quiet, --max-pixels, --min-size, --no-color-management and --all-images belong to --list and --extract");
    switch (cl.mode) {
    case CommandLine::Mode::Help:
    case CommandLine::Mode::Version:
        break;
    case CommandLine::Mode::Info:
        if (pagesSeen)
            return usageError(QStringLiteral("--pages belongs to --list and --extract"));
        if (cl.files.size() != 1)
            return usageError(QStringLiteral("--info takes exactly one file"));
        if (extractOptions)
            return usageError(QStringLiteral("--out, --format, --dpi, --pattern and --overwrite belong to --extract"));
        if (walkOptionsSeen)
            return usageError(walkOptionsMisplaced);
        break;
    case CommandLine::Mode::List:
        if (cl.files.isEmpty() && !filesFromSeen)
            return usageError(QStringLiteral("--list needs at least one file"));
        if (extractOptions)
            return usageError(QStringLiteral("--out, --format, --dpi, --pattern and --overwrite belong to --extract"));
        break;
    case CommandLine::Mode::Extract:
        if (cl.files.isEmpty() && !filesFromSeen)
            return usageError(QStringLiteral("--extract needs at least one file"));
        if (!outSeen)
            return usageError(QStringLiteral("--extract needs --out DIR"));
        if (!ExportFormat::indexOfNameIgnoringCase(cl.format))
            return usageError(QStringLiteral("unknown format \"%1\"; the formats are %2")
                                  .arg(cl.format, ExportFormat::names().join(QStringLiteral(", "))));
        break;
    case CommandLine::Mode::Window:
        if (passwordSeen)
            return usageError(QStringLiteral("--password and --password-file belong to --info, --list and --extract"));
        if (pagesSeen)
            return usageError(QStringLiteral("--pages belongs to --list and --extract"));
        if (extractOptions)
            return usageError(QStringLiteral("--out, --format, --dpi, --pattern and --overwrite belong to --extract"));
        if (walkOptionsSeen)
            return usageError(walkOptionsMisplaced);
        break;
    case CommandLine::Mode::UsageError:
        break;
    }
    return cl;
}
