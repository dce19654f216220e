#include "PdfFixture.h"
#include "ZembrixProcess.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixture;

TEST(CommandLine, InfoPrintsTheDocumentText)
{
    QTemporaryDir dir;
    PdfFixture pdf;
    pdf.page({});
    pdf.page({});
    pdf.setInfo({{"Title", string("Report")}, {"ModDate", string("D:20240131120000Z")}});
    WriteOptions options;
    options.version = "1.6";
    pdf.write(dir.filePath("a.pdf"), options);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", "UTC");
    const ProcessResult r = runZembrix({"--info", dir.filePath("a.pdf")}, 120000, env);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_TRUE(r.out.startsWith("    PDF Version\t- 1.6\n    Pages\t\t- 2\n    Encrypted\t- No\n    Title\t\t- Report\n"));
    EXPECT_TRUE(r.out.endsWith("    Modified\t- 2024-01-31 12:00:00\n"));
}

// Missing, unreadable, damaged and password-protected inputs give one line on
// standard error and status 1; usage mistakes one line, a pointer to --help and status 2.
TEST(CommandLine, ErrorsAndUsage)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("noise.pdf"), std::string(3000, '\x7f'));
    PdfFixture pdf;
    pdf.page({});
    WriteOptions locked;
    locked.encrypt = true;
    locked.userPassword = "pw";
    pdf.write(dir.filePath("locked.pdf"), locked);

    const std::pair<QString, const char *> unreadable[] = {{dir.filePath("missing.pdf"), "no such file"},
                                                           {dir.filePath("noise.pdf"), "not a PDF file"},
                                                           {dir.filePath("locked.pdf"), "needs a password"},
                                                           {dir.path(), "cannot be read"}};
    for (const auto &[file, reason] : unreadable) {
        const ProcessResult r = runZembrix({"--info", file});
        EXPECT_EQ(r.status, 1) << file.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err, QStringLiteral("zembrix: %1: %2\n").arg(file, reason));
    }
    // The password on the command line or in a file's first line; a wrong one is said.
    writeFile(dir.filePath("pw.txt"), "pw\nnot this line\n");
    for (const QStringList &given : {QStringList{"--password", "pw"}, QStringList{"--password-file", dir.filePath("pw.txt")},
                                     QStringList{"--password", "nope"}}) {
        const ProcessResult r = runZembrix(QStringList{"--list", dir.filePath("locked.pdf")} + given);
        EXPECT_EQ(r.status, given[1] == "nope" ? 1 : 0) << r.err.toStdString();
        EXPECT_EQ(r.err, given[1] == "nope" ? QStringLiteral("zembrix: %1: wrong password\n").arg(dir.filePath("locked.pdf")) : "");
    }
    for (const QStringList &args : {QStringList{"--bogus"}, QStringList{"--info"}, QStringList{"--info", "a", "b"},
                                    QStringList{"--extract", "a.pdf"}, QStringList{"--list", "--info", "a.pdf"},
                                    QStringList{"--dpi", "x"}, QStringList{"--list", "a.pdf", "--max-pixels", "0"},
                                    QStringList{"--list", "a.pdf", "--max-pixels"}, QStringList{"--quiet"},
                                    QStringList{"--info", "a.pdf", "--max-pixels", "9"},
                                    QStringList{"--extract", "a.pdf", "--out", dir.filePath("o"), "--format", "gif"},
                                    QStringList{"--extract", "a.pdf", "--out", dir.filePath("o"), "--pattern", "a/#"},
                                    QStringList{"--extract", "a.pdf", "--out", dir.filePath("o"), "--pattern", "../up_###"},
                                    QStringList{"--extract", "a.pdf", "--out", dir.filePath("o"), "--pattern", "/tmp/zembrix-up-###"},
                                    QStringList{"--extract", "a.pdf", "--out", dir.filePath("o"), "--out", dir.filePath("p")},
                                    QStringList{"--list", "a.pdf", "--manifest", "m"}, QStringList{"--list", "--null", "a.pdf"},
                                    QStringList{"--extract", "a.pdf", "--out", dir.filePath("o"), "--resume"},
                                    QStringList{"--list", "a.pdf", "--overwrite"}, QStringList{"a.pdf", "--password", "x"},
                                    QStringList{"--info", "a.pdf", "--password-file", dir.filePath("none.txt")}}) {
        const ProcessResult r = runZembrix(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("zembrix: ") && r.err.count('\n') == 2
                    && r.err.endsWith("\nTry 'zembrix --help' for more information.\n"))
            << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("o")) || QFileInfo::exists(dir.filePath("p")));
    const ProcessResult help = runZembrix({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--extract"));
    const ProcessResult version = runZembrix({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("zembrix "));
}

// Without a display the program names the headless modes; with one (here the offscreen
// platform) the window opens and the program keeps running until it is closed.
TEST(CommandLine, WindowNeedsADisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(variable);
    const ProcessResult r = runZembrix({}, 120000, env);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("no display") && r.err.contains("--extract")) << r.err.toStdString();

    QProcess p;
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZEMBRIX_BINARY), QStringList{});
    ASSERT_TRUE(p.waitForStarted(10000));
    EXPECT_FALSE(p.waitForFinished(1500)) << p.readAllStandardError().toStdString();
    p.terminate();
    if (!p.waitForFinished(5000))
        p.kill();
}
