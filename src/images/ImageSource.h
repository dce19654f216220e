#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace zembrix {

// Where an image record's picture came from and what its dictionary said,
// as the headless listing prints it.
struct ImageSource {
    QString objectKey; // object number and generation, "12 0"
    int page = 0;      // 1-based page on which the image was first found
    double width = 0;  // /Width and /Height as written
    double height = 0;
    int bitsPerComponent = 0;
    QString colorSpace; // colour space family name ("/DeviceRGB"), empty when missing
    QString filter;     // the current filter name, "" when there is none
    double xPpi = 0;    // resolution where the pages first draw it; 0 when they never do
    double yPpi = 0;
    qint64 compressedBytes = -1; // the stream's /Length; -1 when unknown
    // Every page whose resources hold the image, in the order the walk met
    // them (at most kMaxPages of them; `page` is the first).
    QList<int> pages;
    static constexpr int kMaxPages = 10000;
};

} // namespace zembrix
