#include "PictureDigest.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>

namespace zembrix {

QByteArray pictureDigest(const QImage &picture)
{
    QByteArray header;
    {
        QDataStream stream(&header, QIODevice::WriteOnly);
        stream << qint32(picture.width()) << qint32(picture.height()) << qint32(picture.format());
        // Indexed pictures: the same indices under another palette are other colours.
        for (const QRgb colour : picture.colorTable())
            stream << quint32(colour);
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(header);
    const qsizetype rowBytes = (qsizetype(picture.width()) * picture.depth() + 7) / 8;
    for (int y = 0; y < picture.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(picture.constScanLine(y)), rowBytes));
    return hash.result();
}

} // namespace zembrix
