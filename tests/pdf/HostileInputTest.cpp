// Hostile files read in-process as the headless walk reads them: each gives the images it states
// and every picture is built (a crash or a hang fails the suite). What only the program shows,
// its messages, exports and the files it writes, is the hostile catalogue's (tests/hostile).

#include "HostileInputs.h"
#include "PdfTestSupport.h"

using namespace zembrix;

TEST_F(PdfTest, HostileFilesGiveTheImagesTheyState)
{
    for (const HostileInput &c : hostileInputs()) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(fixture::writeFile(path("hostile.pdf"), fileOf(c)));
        const auto record = parse(path("hostile.pdf"), false);
        QList<QImage> pictures;
        for (const auto &image : record->images())
            if (const QImage picture = image->image(); !picture.isNull())
                pictures << picture;
        EXPECT_EQ(record->images().size(), c.images);
        EXPECT_EQ(pictures.size(), c.images);
        if (c.check && pictures.size() == c.images)
            c.check(pictures);
    }
}
