#include "RecordingController.h"

#include <gtest/gtest.h>

#include <thread>

using imagestest::MainControllerScope;
using imagestest::RecordingController;

TEST(ControllerInterface, DoNothingControllerUntilOneIsSetAndAfterReset)
{
    ControllerInterface *fallback = mainController();
    ASSERT_NE(fallback, nullptr);
    bool ran = false;
    fallback->registerUndo([&ran] { ran = true; }); // dropped unrun
    EXPECT_FALSE(ran);
    {
        RecordingController recording;
        MainControllerScope scope(&recording);
        EXPECT_EQ(mainController(), &recording);
        mainController()->setStatusText(QStringLiteral("Parsing"));
        mainController()->showAlert(QStringLiteral("Export failed"), QStringLiteral("disk full"));
        mainController()->registerUndo([&ran] { ran = true; });
        EXPECT_EQ(recording.statusTexts, QStringList{QStringLiteral("Parsing")});
        EXPECT_EQ(recording.alerts, QStringList{QStringLiteral("Export failed|disk full")});
        EXPECT_TRUE(recording.undo());
        EXPECT_TRUE(ran);
    }
    EXPECT_EQ(mainController(), fallback);
}

TEST(ControllerInterface, ControllerSetOnOneThreadIsSeenOnAnother)
{
    RecordingController recording;
    MainControllerScope scope(&recording);
    ControllerInterface *seen = nullptr;
    std::thread worker([&seen] {
        seen = mainController();
        seen->threadCount().fetch_add(1);
        seen->updateFileList();
        seen->threadCount().fetch_sub(1);
    });
    worker.join();
    EXPECT_EQ(seen, &recording);
    EXPECT_EQ(recording.fileListUpdates, 1);
    EXPECT_EQ(recording.threadCount().load(), 0);
}
