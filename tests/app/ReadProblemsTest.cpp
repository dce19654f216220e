#include "AppTestSupport.h"

#include "Controller.h"
#include "FileTableModel.h"
#include "MainWindow.h"
#include "ThumbnailModel.h"

#include "pdf/PDFFileStruct.h"

#include <QDir>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zembrix;

using apptest::waitUntil;
using State = PDFFileStruct::ReadStatus::State;

namespace {

struct ReadProblemsTest : ::testing::Test {
    ReadProblemsTest() { controller.setParsePause(std::chrono::milliseconds(0)); }
    // Adds the file and waits until its read has ended.
    std::shared_ptr<PDFFileStruct> add(const QString &path)
    {
        controller.addPdfFile(path);
        const auto file = controller.pdfFiles().last();
        EXPECT_TRUE(waitUntil([&] { return !file->isThreading(); }, 60000));
        return file;
    }
    QVariant cell(int row, int column, int role) const
    {
        return controller.fileModel()->data(controller.fileModel()->index(row, column), role);
    }
    void selectRow(int row)
    {
        controller.fileSelection()->select(controller.fileModel()->index(row, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        controller.setInfoText(true);
        QCoreApplication::processEvents();
    }
    QInputDialog *passwordDialog() const { return window.findChild<QInputDialog *>("passwordDialog"); }

    QTemporaryDir dir;
    Controller controller;
    MainWindow window{&controller};
};

// Files that cannot be read carry an error mark, their reason in the row's tooltip and in the
// information area.
TEST_F(ReadProblemsTest, UnreadableFilesSayWhy)
{
    const std::pair<const char *, std::string> rows[] = {
        {"not a PDF file", "<html>no pdf here</html>\n"},
        {"empty file", ""},
        {"damaged file", "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R\n"},
        {"Is a directory", {}},
    };
    int row = 0;
    for (const auto &[reason, bytes] : rows) {
        const QString path = dir.filePath(QStringLiteral("f%1.pdf").arg(row));
        ASSERT_TRUE(QByteArray(reason) == "Is a directory" ? QDir().mkdir(path) : fixture::writeFile(path, bytes));
        const auto file = add(path);
        EXPECT_EQ(file->readStatus().state, State::Failed) << reason;
        EXPECT_FALSE(cell(row, FileTableModel::NameColumn, Qt::DecorationRole).isNull()) << reason;
        EXPECT_TRUE(cell(row, FileTableModel::NameColumn, Qt::ToolTipRole).toString().endsWith(reason)) << reason;
        selectRow(row);
        EXPECT_TRUE(waitUntil([&] { return controller.statusText().contains(QStringLiteral("Not read: %1").arg(reason)); }))
            << reason;
        ++row;
    }
}

// A stopped read says where it stopped; F5 reads it again, keeping it checked and its images'
// edits, and the mark goes.
TEST_F(ReadProblemsTest, StoppedReadResumesWithItsEdits)
{
    const QString path = dir.filePath("long.pdf");
    apptest::writePdf(path, 2000, 0, QSize(2, 2));
    controller.addPdfFile(path);
    const auto file = controller.pdfFiles().first();
    ASSERT_TRUE(waitUntil([&] { return file->imageCount() > 0; }, 60000));
    controller.stopAction(Controller::Focus::FileTable);
    ASSERT_TRUE(waitUntil([&] { return controller.runningParses() == 0; })); // the walk has ended
    const PDFFileStruct::ReadStatus stopped = file->readStatus();
    ASSERT_EQ(stopped.state, State::Stopped);
    EXPECT_EQ(stopped.text(), QStringLiteral("stopped at %1 of 2000").arg(stopped.stoppedAt));
    EXPECT_TRUE(cell(0, FileTableModel::NameColumn, Qt::ToolTipRole).toString().endsWith(stopped.text()));
    file->images().first()->setAngle(90);
    file->images().first()->setBrightness(0.25f);

    selectRow(0);
    controller.parseSelectedPDF(); // F5
    ASSERT_TRUE(waitUntil([&] { return !file->isThreading() && file->imageCount() == 2000; }, 120000));
    EXPECT_TRUE(file->IsSelected());
    EXPECT_EQ(file->readStatus().state, State::Fine);
    EXPECT_TRUE(cell(0, FileTableModel::NameColumn, Qt::DecorationRole).isNull());
    EXPECT_EQ(file->images().first()->angle(), 90.0f);
    EXPECT_EQ(file->images().first()->brightness(), 0.25f);
    EXPECT_EQ(file->images().last()->angle(), 0.0f);
}

// A protected file asks for its password, naming the file; a wrong one asks again; Cancel leaves
// the row "locked"; F5 asks again, and the right password reads it.
TEST_F(ReadProblemsTest, PasswordDialogPerLockedFile)
{
    const QString path = dir.filePath("secret.pdf");
    {
        fixture::PdfFixture pdf;
        pdf.page({{"/Im0", pdf.image(2, 1, 8, fixture::name("DeviceGray"), std::string("\x10\xe0", 2))}});
        fixture::WriteOptions options;
        options.encrypt = true;
        options.userPassword = "s3cret";
        pdf.write(path, options);
    }
    controller.addPdfFile(path);
    const auto file = controller.pdfFiles().first();
    const auto answer = [&](const QString &expectedLabel, const QString &password) {
        ASSERT_TRUE(waitUntil([&] { return passwordDialog() && passwordDialog()->isVisible(); }, 60000));
        QPointer<QInputDialog> dialog = passwordDialog();
        EXPECT_TRUE(dialog->labelText().startsWith(expectedLabel)) << dialog->labelText().toStdString();
        EXPECT_TRUE(dialog->labelText().contains("secret.pdf"));
        dialog->setTextValue(password);
        password.isNull() ? dialog->reject() : dialog->accept();
        ASSERT_TRUE(waitUntil([&] { return !dialog; })); // closed and deleted
    };
    answer(QStringLiteral("\u201c"), QStringLiteral("wrong"));
    answer(QStringLiteral("Wrong password"), QString());
    ASSERT_TRUE(waitUntil([&] { return cell(0, FileTableModel::CountColumn, Qt::DisplayRole) == "locked"; }));
    EXPECT_EQ(file->readStatus().state, State::Locked);

    selectRow(0);
    controller.parseSelectedPDF(); // F5
    answer(QStringLiteral("Wrong password"), QStringLiteral("s3cret"));
    ASSERT_TRUE(waitUntil([&] { return !file->isThreading() && file->imageCount() == 1; }, 60000));
    EXPECT_EQ(file->readStatus().state, State::Fine);
    EXPECT_EQ(qGray(file->images().first()->image().pixel(1, 0)), 0xe0);
}

} // namespace
