// The hostile catalogue: crafted PDFs (and hostile export settings), each run through --list and
// --extract next to a good file. Every case states what it must give; none may crash, hang or
// write outside the output folder, and the good file is always extracted completely.

#include "HostileCases.h"
#include "ZembrixProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixture;

namespace {

// Every file and link under `root`, as paths relative to it.
QSet<QString> treeOf(const QString &root)
{
    QSet<QString> paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.insert(QDir(root).relativeFilePath(it.next()));
    return paths;
}

class HostileCatalog : public ::testing::TestWithParam<HostileCase>
{
};

} // namespace

TEST_P(HostileCatalog, EndsAsStated)
{
    const HostileCase &c = GetParam();
    QTemporaryDir dir;
    const QString root = dir.path();
    writeGoodFile(root + "/good.pdf");
    HostileSetup setup{root, root + "/bad.pdf", root + "/out"};
    ASSERT_TRUE(QDir().mkpath(setup.out));
    c.make(setup);
    const QSet<QString> before = treeOf(root);

    // --list of the hostile file alone.
    const ProcessResult list = runZembrix(QStringList{"--list", setup.bad} + c.extraArgs.filter("--all-images"), kCaseTimeLimitMs);
    EXPECT_EQ(list.status, c.listStatus) << list.err.toStdString();
    const int rows = int(list.out.count(QLatin1Char('\n'))) - 1;
    if (c.listed >= 0) {
        EXPECT_EQ(rows, c.listed) << list.out.toStdString();
    }

    // --extract of the good file and the hostile one.
    const ProcessResult extract = runZembrix(QStringList{"--extract", root + "/good.pdf", setup.bad, "--out", setup.out}
                                                 + c.extraArgs,
                                             kCaseTimeLimitMs);
    EXPECT_EQ(extract.status, c.extractStatus) << extract.err.toStdString();
    for (int i = 0; setup.goodNamedByDefault && i < kGoodImages; ++i)
        expectGoodImage(setup.out + QStringLiteral("/good_%1.png").arg(i, 3, 10, QLatin1Char('0')), i);

    // Every diagnostic, the libraries' included, is the program's own line (a usage error's
    // pointer to --help aside).
    for (const ProcessResult *run : {&list, &extract}) {
        EXPECT_TRUE(run->err.contains(c.said)) << run->err.toStdString();
        for (const QString &line : run->err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            EXPECT_TRUE(line.startsWith("zembrix: ") || line == "Try 'zembrix --help' for more information.") << line.toStdString();
    }

    // Nothing appears outside the output folder, and what is in it is what the case expects.
    QStringList outside;
    for (const QString &path : treeOf(root) - before)
        if (!path.startsWith(QLatin1String("out/")))
            outside << path;
    EXPECT_TRUE(outside.isEmpty()) << outside.join(' ').toStdString();
    if (c.written >= 0) {
        EXPECT_EQ(int(QDir(setup.out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size()),
                  kGoodImages + c.written)
            << QDir(setup.out).entryList(QDir::Files).join(' ').toStdString();
    }
    if (c.check)
        c.check(setup);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileCatalog, ::testing::ValuesIn(hostileCases()),
                         [](const ::testing::TestParamInfo<HostileCase> &info) { return info.param.name; });
