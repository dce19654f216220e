#include "PdfFixture.h"
#include "ZembrixProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace fixture;

namespace {

// A 6 x 4 gray picture made from `seed`: equal seeds give equal pixels.
std::string gray(int seed)
{
    std::string samples;
    for (int i = 0; i < 24; ++i)
        samples += char(seed * 40 + i * 9);
    return samples;
}

// One page of gray images, one per seed; seed -1 is an image that cannot be decoded (5 bits).
void writePdf(const QString &path, const std::vector<int> &seeds)
{
    PdfFixture pdf;
    Dict xobjects;
    for (size_t i = 0; i < seeds.size(); ++i)
        xobjects["/I" + std::to_string(i)] = seeds[i] < 0 ? pdf.image(6, 4, 5, name("DeviceGray"), std::string(15, 'x'))
                                                          : pdf.image(6, 4, 8, name("DeviceGray"), gray(seeds[i]));
    pdf.page(xobjects);
    pdf.write(path);
}

QList<QJsonObject> manifestLines(const QString &path)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : readFile(path).split('\n'))
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    return lines;
}

// The lines sorted, with each path cut to its file name: runs into other folders compare equal.
QStringList comparable(const QList<QJsonObject> &lines)
{
    QStringList result;
    for (QJsonObject line : lines) {
        for (const char *key : {"output", "planned"})
            if (line.contains(key))
                line[key] = QFileInfo(line[key].toString()).fileName();
        result << QJsonDocument(line).toJson(QJsonDocument::Compact);
    }
    result.sort();
    return result;
}

class Batch : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

} // namespace

// File lists name files by their bytes, one a line or NUL-separated, from a file or standard input.
TEST_F(Batch, FilesFrom)
{
    writePdf(path("a.pdf"), {1});
    writePdf(path("b c.pdf"), {2, 3});
    const QByteArray latin1 = QFile::encodeName(path("caf")) + "\xe9.pdf";
    writePdf(path("d.pdf"), {4});
    ASSERT_EQ(::rename(QFile::encodeName(path("d.pdf")).constData(), latin1.constData()), 0);
    for (const bool nul : {false, true}) {
        const char end = nul ? '\0' : '\n';
        writeFile(path("list"), (QFile::encodeName(path("a.pdf")) + end + QFile::encodeName(path("b c.pdf")) + end + latin1).toStdString());
        const QStringList fromFile = {"--list", "--files-from", path("list")};
        for (const QStringList &args : {fromFile + (nul ? QStringList{"--null"} : QStringList{}),
                                        QStringList{"-c", QStringLiteral("exec \"$0\" --list --files-from - %1 < \"$1\"").arg(nul ? "--null" : ""), ZEMBRIX_BINARY, path("list")}}) {
            const ProcessResult r = args[0] == "-c" ? runProcess("/bin/sh", args) : runZembrix(args);
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
            EXPECT_EQ(r.out.count('\n'), 5) << r.out.toStdString();
            EXPECT_TRUE(r.out.contains(path("caf") + QChar(0xfffd) + ".pdf\t0\t")) << r.out.toStdString();
        }
    }
    ::unlink(latin1.constData()); // Qt cannot name it
}

// The manifest has a line per image with its facts and the output's size and SHA-256 (as
// sha256sum computes it); --resume after a torn, changed or shortened run ends as one run, the
// names that one pattern gives several files numbered as they were.
TEST_F(Batch, ManifestAndResume)
{
    for (const auto &[name, seeds] : std::vector<std::pair<QString, std::vector<int>>>{{"a", {1, 2}}, {"b", {3, -1}}, {"c", {4, 5}}, {"d", {6}}})
        writePdf(path(name + ".pdf"), seeds);
    const QStringList files = {path("a.pdf"), path("b.pdf"), path("c.pdf"), path("d.pdf"), "--pattern", "img-##"};
    const ProcessResult full = runZembrix(QStringList{"--extract", "--out", path("out"), "--manifest", path("m.jsonl")} + files);
    EXPECT_EQ(full.status, 0) << full.err.toStdString();
    const QList<QJsonObject> lines = manifestLines(path("m.jsonl"));
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0]["status"], "skipped");
    EXPECT_TRUE(lines[0]["reason"].toString().startsWith("not decoded (")) << lines[0]["reason"].toString().toStdString();
    const QJsonObject c1 = lines[5];
    const QJsonObject expected{{"file", path("c.pdf")}, {"index", 1}, {"name", "img-01"}, {"output", path("out/img-01 (2).png")}, {"width", 6}, {"height", 4}, {"bpc", 8}, {"colorspace", "/DeviceGray"}, {"page", 1}, {"status", "written"}, {"file_images", 2}};
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(c1[it.key()], it.value()) << it.key().toStdString();
    EXPECT_EQ(c1["sha256"].toString(), runProcess("/usr/bin/sha256sum", {path("out/img-01 (2).png")}).out.section(' ', 0, 0));
    EXPECT_EQ(c1["bytes"].toInteger(), QFileInfo(path("out/img-01 (2).png")).size());

    const QByteArray manifest = readFile(path("m.jsonl"));
    // An output file made different or removed, and the files the resumed run skips.
    struct Row {
        const char *what;
        QByteArray manifest;
        const char *damaged;
        bool remove;
        int done;
    };
    const qsizetype fifthLine = manifest.indexOf('\n', manifest.indexOf("/img-00 (3).png\"")) - 30;
    for (const Row &row : {Row{"torn in c's first line", manifest.left(fifthLine), nullptr, false, 2},
                           Row{"a changed output", manifest, "img-01 (2).png", false, 3},
                           Row{"a removed output", manifest, "img-00.png", true, 3}}) {
        const QString out = path(QStringLiteral("resumed %1").arg(row.done) + row.what);
        QDir().mkpath(out);
        for (const QString &name : filesIn(path("out")))
            QFile::copy(path("out/") + name, out + "/" + name);
        writeFile(out + ".jsonl", row.manifest.toStdString());
        if (row.damaged && row.remove)
            QFile::remove(out + "/" + row.damaged);
        else if (row.damaged)
            writeFile(out + "/" + row.damaged, "changed");
        const ProcessResult r =
            runZembrix(QStringList{"--extract", "--out", out, "--manifest", out + ".jsonl", "--resume"} + files);
        EXPECT_EQ(r.status, 0) << row.what << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("Resume: %1 of 4 files done").arg(row.done))) << row.what << r.out.toStdString();
        EXPECT_EQ(comparable(manifestLines(out + ".jsonl")), comparable(lines)) << row.what;
        EXPECT_EQ(filesIn(out), filesIn(path("out"))) << row.what;
        for (const QString &name : filesIn(out))
            EXPECT_EQ(readFile(out + "/" + name), readFile(path("out/") + name)) << row.what << name.toStdString();
    }
}

// Equal pixels are written once and the manifest names the first; other pixels under the same
// samples (another palette, a mask) are not equal. A resumed run still knows the earlier pictures.
TEST_F(Batch, SkipDuplicates)
{
    PdfFixture pdf;
    const auto palette = [](char c) { return array({name("Indexed"), name("DeviceRGB"), integer(1), string(std::string(6, c))}); };
    pdf.page({{"/A", pdf.image(6, 4, 8, name("DeviceGray"), gray(1))},
              {"/B", pdf.image(6, 4, 8, name("DeviceGray"), gray(1))},
              {"/C", pdf.image(2, 1, 1, palette('\x10'), std::string(1, '\x40'))},
              {"/D", pdf.image(2, 1, 1, palette('\x90'), std::string(1, '\x40'))},
              {"/E", pdf.image(6, 4, 8, name("DeviceGray"), gray(1), {},
                               {{"/SMask", pdf.image(6, 4, 8, name("DeviceGray"), gray(2))}})}});
    pdf.write(path("x.pdf"));
    writePdf(path("y.pdf"), {1});
    const QStringList args = {"--extract", path("x.pdf"), path("y.pdf"), "--out", path("out"), "--skip-duplicates",
                              "--manifest", path("m.jsonl")};
    const QStringList written = {"x_000.png", "x_002.png", "x_003.png", "x_004.png"};
    runZembrix(args + QStringList{"--format", "Original"}); // these go as PNG, through the same lookup
    EXPECT_EQ(filesIn(path("out")), written);
    const ProcessResult r = runZembrix(args + QStringList{"--overwrite"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(path("out")), written);
    EXPECT_TRUE(r.out.contains("Summary: 2 of 2 files read, 4 images written, 2 duplicates not written again, ")) << r.out.toStdString();
    const QList<QJsonObject> lines = manifestLines(path("m.jsonl"));
    ASSERT_EQ(lines.size(), 6);
    for (const int i : {1, 5}) {
        EXPECT_EQ(lines[i]["status"], "duplicate");
        EXPECT_EQ(lines[i]["output"], path("out/x_000.png"));
        EXPECT_EQ(lines[i]["sha256"], lines[0]["sha256"]);
    }
    EXPECT_EQ(lines[5]["reason"], "same pixels as image 0 of " + path("x.pdf"));

    writeFile(path("m.jsonl"), readFile(path("m.jsonl")).left(readFile(path("m.jsonl")).lastIndexOf('{')).toStdString());
    const ProcessResult resumed = runZembrix(args + QStringList{"--resume"});
    EXPECT_TRUE(resumed.out.startsWith("Resume: 1 of 2 files done")) << resumed.out.toStdString();
    EXPECT_EQ(comparable(manifestLines(path("m.jsonl"))), comparable(lines));
    EXPECT_EQ(filesIn(path("out")).size(), 4);
}

// The README's recipe for many machines, run here with two jobs: its joined manifest is the
// one a single run writes, file for file and hash for hash.
TEST_F(Batch, ParallelRecipeEqualsOneRun)
{
    if (QStandardPaths::findExecutable("parallel").isEmpty())
        GTEST_SKIP() << "GNU parallel is not installed";
    QByteArray list;
    for (int i = 0; i < 20; ++i) {
        const QString file = path(QStringLiteral("doc %1.pdf").arg(i));
        writePdf(file, i % 3 ? std::vector<int>{i, i + 20} : std::vector<int>{i});
        list += QFile::encodeName(file) + '\0';
    }
    writeFile(path("list"), list.toStdString());
    const ProcessResult one = runZembrix({"--extract", "--files-from", path("list"), "--null", "--out", path("one"),
                                          "--manifest", path("one.jsonl")});
    ASSERT_EQ(one.status, 0) << one.err.toStdString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZEMBRIX", ZEMBRIX_BINARY);
    const ProcessResult recipe = runProcess(
        "/bin/sh", {"-c", "exec \"$0\" \"$2/many\" \"$2/many.jsonl\" -N 10 -j 2 < \"$1\"", ZEMBRIX_SOURCE_DIR "/tools/extract-parallel.sh", path("list"), m_dir.path()}, 120000, env);
    ASSERT_EQ(recipe.status, 0) << recipe.err.toStdString();
    EXPECT_EQ(QDir(path("many.jsonl.d")).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(comparable(manifestLines(path("many.jsonl"))), comparable(manifestLines(path("one.jsonl"))));
    EXPECT_EQ(manifestLines(path("one.jsonl")).size(), 33);
    EXPECT_EQ(filesIn(path("many")), filesIn(path("one")));
}

// A list longer than a batch of files: one pattern's names and the duplicates count across batches.
TEST_F(Batch, NamesAndDuplicatesAcrossBatches)
{
    QByteArray list;
    for (int i = 0; i < 201; ++i) {
        writePdf(path(QStringLiteral("%1.pdf").arg(i)), {i % 7});
        list += QFile::encodeName(path(QStringLiteral("%1.pdf").arg(i))) + '\n';
    }
    writeFile(path("list"), list.toStdString());
    const QStringList args = {"--extract", "--files-from", path("list"), "--pattern", "img"}; // every name "img0"
    EXPECT_EQ(runZembrix(args + QStringList{"--out", path("all")}).status, 0);
    EXPECT_TRUE(filesIn(path("all")).size() == 201 && filesIn(path("all")).contains("img0 (201).png"));
    const ProcessResult once = runZembrix(args + QStringList{"--out", path("once"), "--skip-duplicates"});
    EXPECT_TRUE(once.out.contains("7 images written, 194 duplicates not written again")) << once.out.toStdString();
}
