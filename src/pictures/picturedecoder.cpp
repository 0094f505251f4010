#include "pictures/picturedecoder.h"

#include "platform/filenames.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PictureDecoder {
namespace {

/// The open picture: a regular file (never a pipe or device, which could make the read wait)
/// or the bytes of a data: URL.
struct Source
{
    std::unique_ptr<QIODevice> device;
    PictureProblem problem = PictureProblem::none;
};

Source open(const PictureTarget &target)
{
    Source source;
    if (target.kind == PictureTarget::Kind::data) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(target.bytes);
        buffer->open(QIODevice::ReadOnly);
        source.device = std::move(buffer);
        return source;
    }
    if (target.kind != PictureTarget::Kind::file) {
        source.problem = target.problem;
        return source;
    }
    const int fd = ::open(FileNames::encode(target.path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        source.problem = errno == ENOENT ? PictureProblem::missing : PictureProblem::undecodable;
        return source;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        source.problem = PictureProblem::missing;
        return source;
    }
    if (info.st_size > PictureLimits::maxFileBytes) {
        ::close(fd);
        source.problem = PictureProblem::tooLarge;
        return source;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        source.problem = PictureProblem::undecodable;
        return source;
    }
    source.device = std::move(file);
    return source;
}

bool isVector(const QByteArray &format)
{
    return format == "svg" || format == "svgz";
}

bool turnsSideways(QImageIOHandler::Transformations transformation)
{
    return transformation & QImageIOHandler::TransformationRotate90;
}

/// Prepares the reader and reads the header; the upright size, or the problem.
DecodedPicture header(QImageReader &reader)
{
    DecodedPicture out;
    // The limit is the process's, not the reader's: set once, by whichever reader comes first
    // (a function's static is made once, the others waiting for it).
    static const bool limited = [] {
        QImageReader::setAllocationLimit(PictureLimits::allocationLimitMB);
        return true;
    }();
    Q_UNUSED(limited);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        out.problem = PictureProblem::undecodable;
        return out;
    }
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty()) {
        out.problem = PictureProblem::undecodable;
        return out;
    }
    if (!isVector(reader.format()) &&
        qint64(stored.width()) * stored.height() > PictureLimits::maxPixels) {
        out.problem = PictureProblem::tooLarge;
        return out;
    }
    out.size = turnsSideways(reader.transformation()) ? stored.transposed() : stored;
    return out;
}

} // namespace

QSize shownSize(QSize size, int maxWidth)
{
    if (size.isEmpty() || maxWidth <= 0)
        return {};
    if (size.width() <= maxWidth)
        return size;
    const int height = qMax(1, int(qRound64(double(size.height()) * maxWidth / size.width())));
    return {maxWidth, height};
}

DecodedPicture readHeader(const PictureTarget &target)
{
    Source source = open(target);
    if (!source.device)
        return {source.problem, {}, {}};
    QImageReader reader(source.device.get());
    return header(reader);
}

DecodedPicture decode(const PictureTarget &target, int maxWidth)
{
    Source source = open(target);
    if (!source.device)
        return {source.problem, {}, {}};
    QImageReader reader(source.device.get());
    DecodedPicture out = header(reader);
    if (out.problem != PictureProblem::none)
        return out;
    const QSize shown = shownSize(out.size, maxWidth);
    // The reader scales before it turns the picture upright: ask in the stored orientation.
    const QSize scaled = turnsSideways(reader.transformation()) ? shown.transposed() : shown;
    if (scaled != reader.size())
        reader.setScaledSize(scaled);
    QImage image = reader.read();
    if (image.isNull()) {
        out.problem = PictureProblem::undecodable;
        return out;
    }
    // Not every format scales while decoding.
    if (image.size() != shown)
        image = image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.image = std::move(image);
    return out;
}

} // namespace PictureDecoder
