#include <gtest/gtest.h>

#include <QApplication>

// The GUI tests need a QApplication; without a platform chosen they run on
// the offscreen one (test discovery runs this program too).
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ZembrixTests"));
    QApplication::setApplicationName(QStringLiteral("app_tests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
