#include "pictures/pictureclipboard.h"

#include "pictures/picturepath.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QUrl>

namespace PictureClipboard {
namespace {

QStringList pictureFiles(const QMimeData *mime)
{
    QStringList files;
    if (!mime->hasUrls())
        return files;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile() && PictureAssets::isPictureFileName(url.toLocalFile()))
            files.append(url.toLocalFile());
    }
    return files;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    return writer.write(image) ? bytes : QByteArray();
}

} // namespace

bool hasPictures(const QMimeData *mime)
{
    if (!mime)
        return false;
    if (!pictureFiles(mime).isEmpty())
        return true;
    return mime->hasImage() && !mime->hasText();
}

QList<PictureAssets::NewPicture> pictures(const QMimeData *mime, const QDateTime &now,
                                          QString *error)
{
    QList<PictureAssets::NewPicture> out;
    if (!mime)
        return out;
    const QStringList files = pictureFiles(mime);
    for (const QString &file : files) {
        QByteArray bytes = PictureAssets::readPictureFile(file, error);
        if (bytes.isEmpty()) {
            if (error->isEmpty())
                *error = PictureProblems::text(PictureProblem::undecodable);
            return {};
        }
        out.append({QUrl::fromLocalFile(file).fileName(), std::move(bytes)});
    }
    if (!files.isEmpty() || !mime->hasImage())
        return out;
    QByteArray bytes = mime->data(QStringLiteral("image/png"));
    if (bytes.isEmpty() || !bytes.startsWith("\x89PNG"))
        bytes = png(qvariant_cast<QImage>(mime->imageData()));
    if (bytes.isEmpty()) {
        *error = PictureProblems::text(PictureProblem::undecodable);
        return {};
    }
    out.append({PictureAssets::pastedName(now), std::move(bytes)});
    return out;
}

} // namespace PictureClipboard
