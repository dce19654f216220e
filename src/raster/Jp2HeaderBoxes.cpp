#include "Jp2HeaderBoxes.h"

#include <QtEndian>

#include <cmath>

namespace zembrix {

namespace {

constexpr quint32 boxType(const char (&name)[5])
{
    return quint32(uchar(name[0])) << 24 | quint32(uchar(name[1])) << 16 | quint32(uchar(name[2])) << 8
           | quint32(uchar(name[3]));
}

struct Box {
    quint32 type = 0;
    QByteArrayView content;
};

// Reads the box at offset; moves offset past it. False at the end of the
// data or on a box whose length does not fit.
bool nextBox(QByteArrayView data, qsizetype &offset, Box &box)
{
    const qsizetype left = data.size() - offset;
    if (left < 8)
        return false;
    const uchar *p = reinterpret_cast<const uchar *>(data.data()) + offset;
    quint64 length = qFromBigEndian<quint32>(p);
    box.type = qFromBigEndian<quint32>(p + 4);
    qsizetype header = 8;
    if (length == 1) {
        if (left < 16)
            return false;
        length = qFromBigEndian<quint64>(p + 8);
        header = 16;
    } else if (length == 0) {
        length = quint64(left);
    }
    if (length < quint64(header) || length > quint64(left))
        return false;
    box.content = data.sliced(offset + header, qsizetype(length) - header);
    offset += qsizetype(length);
    return true;
}

quint16 be16(QByteArrayView v, qsizetype at)
{
    return qFromBigEndian<quint16>(reinterpret_cast<const uchar *>(v.data()) + at);
}

// A 'resc' or 'resd' box: vertical and horizontal grid points per metre as
// numerator, denominator and decimal exponent.
bool readResolution(QByteArrayView content, double &dpiWidth, double &dpiHeight)
{
    if (content.size() < 10)
        return false;
    const double vn = be16(content, 0), vd = be16(content, 2);
    const double hn = be16(content, 4), hd = be16(content, 6);
    const int ve = qint8(content[8]), he = qint8(content[9]);
    if (vn == 0 || vd == 0 || hn == 0 || hd == 0)
        return false;
    constexpr double inchesPerMetre = 0.0254;
    dpiHeight = vn / vd * std::pow(10.0, ve) * inchesPerMetre;
    dpiWidth = hn / hd * std::pow(10.0, he) * inchesPerMetre;
    return std::isfinite(dpiWidth) && std::isfinite(dpiHeight);
}

void readResBox(QByteArrayView content, Jp2HeaderBoxes &boxes)
{
    bool haveCapture = false, haveDisplay = false;
    double captureW = 0, captureH = 0, displayW = 0, displayH = 0;
    qsizetype offset = 0;
    Box box;
    while (nextBox(content, offset, box)) {
        if (box.type == boxType("resc"))
            haveCapture = readResolution(box.content, captureW, captureH);
        else if (box.type == boxType("resd"))
            haveDisplay = readResolution(box.content, displayW, displayH);
    }
    if (haveDisplay) {
        boxes.dpiWidth = displayW;
        boxes.dpiHeight = displayH;
    } else if (haveCapture) {
        boxes.dpiWidth = captureW;
        boxes.dpiHeight = captureH;
    }
}

void readCdefBox(QByteArrayView content, Jp2HeaderBoxes &boxes)
{
    if (content.size() < 2)
        return;
    const int count = be16(content, 0);
    for (int i = 0; i < count && 2 + 6 * (i + 1) <= content.size(); ++i) {
        const int channel = be16(content, 2 + 6 * i);
        const int type = be16(content, 4 + 6 * i);
        if (type == 1 || type == 2)
            boxes.alphaChannels.push_back(channel);
    }
}

} // namespace

std::optional<Jp2HeaderBoxes> readJp2HeaderBoxes(QByteArrayView data)
{
    qsizetype offset = 0;
    Box top;
    while (nextBox(data, offset, top)) {
        if (top.type != boxType("jp2h"))
            continue;
        Jp2HeaderBoxes boxes;
        qsizetype inner = 0;
        Box box;
        while (nextBox(top.content, inner, box)) {
            if (box.type == boxType("res "))
                readResBox(box.content, boxes);
            else if (box.type == boxType("cdef"))
                readCdefBox(box.content, boxes);
            else if (box.type == boxType("pclr") && box.content.size() >= 4) {
                boxes.paletteChannels = uchar(box.content[2]);
                boxes.paletteDepth = (uchar(box.content[3]) & 0x7f) + 1;
            }
        }
        return boxes;
    }
    return std::nullopt;
}

} // namespace zembrix
