#include "pictures/pictureloader.h"

#include "platform/filenames.h"

#include <sys/stat.h>

namespace {

/// Few headers are known at once; the table is dropped whole now and then.
constexpr qsizetype maxHeaders = 4096;

qint64 costOf(const QImage &image)
{
    return qMax<qint64>(image.sizeInBytes(), 1);
}

} // namespace

PictureLoader::PictureLoader(QObject *parent) : QObject(parent)
{
    m_images.setMaxCost(budgetBytes);
    m_pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
}

PictureLoader::~PictureLoader()
{
    m_pool.clear();
    m_pool.waitForDone();
}

PictureLoader::Key PictureLoader::keyOf(const PictureTarget &target, int width) const
{
    if (target.kind == PictureTarget::Kind::data)
        return {target.path, 0, width};
    struct stat info;
    qint64 modified = -1;
    if (::stat(FileNames::encode(target.path).constData(), &info) == 0)
        modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return {target.path, modified, width};
}

PictureLoader::Lookup PictureLoader::lookup(const PictureTarget &target, int maxWidth)
{
    if (target.kind == PictureTarget::Kind::refused)
        return {target.problem, {}, {}};
    maxWidth = qMax(maxWidth, 1);
    const Key headerKey = keyOf(target, 0);
    const auto header = m_headers.constFind(headerKey);
    if (header != m_headers.constEnd() && header->problem != PictureProblem::none)
        return {header->problem, {}, {}};
    Lookup out;
    Key key = headerKey;
    if (header != m_headers.constEnd()) {
        out.size = PictureDecoder::shownSize(header->size, maxWidth);
        // A picture narrower than the space is decoded once, whatever the width.
        key.width = out.size.width();
        if (const QImage *image = m_images.object(key)) {
            out.image = *image;
            return out;
        }
        // Shown at another width a moment ago (the preview was resized, its scroll bar came
        // or went): that one stands in, scaled, until this width is decoded.
        Key previous = headerKey;
        previous.width = m_lastWidths.value(headerKey);
        if (const QImage *image = previous.width > 0 ? m_images.object(previous) : nullptr) {
            out.image = *image;
            out.interim = true;
        }
    } else {
        key.width = maxWidth;
        if (const QImage *image = m_images.object(key)) {
            out.image = *image;
            out.size = image->size();
            return out;
        }
        if (!m_probing.contains(headerKey)) {
            m_probing.insert(headerKey);
            m_pool.start(
                [this, target, headerKey] {
                    DecodedPicture read = PictureDecoder::readHeader(target);
                    QMetaObject::invokeMethod(
                        this, [this, headerKey, read] { headerRead(headerKey, read); },
                        Qt::QueuedConnection);
                },
                1);
        }
    }
    if (!m_decoding.contains(key)) {
        m_decoding.insert(key);
        m_pool.start([this, target, key, headerKey, maxWidth] {
            DecodedPicture picture = PictureDecoder::decode(target, maxWidth);
            QMetaObject::invokeMethod(
                this,
                [this, key, headerKey, picture = std::move(picture)]() mutable {
                    decoded(key, headerKey, std::move(picture));
                },
                Qt::QueuedConnection);
        });
    }
    return out;
}

void PictureLoader::headerRead(const Key &headerKey, const DecodedPicture &header)
{
    m_probing.remove(headerKey);
    if (m_headers.size() > maxHeaders)
        m_headers.clear();
    m_headers.insert(headerKey, {header.problem, header.size, {}});
    Q_EMIT pictureReady();
}

void PictureLoader::decoded(const Key &key, const Key &headerKey, DecodedPicture picture)
{
    m_decoding.remove(key);
    if (!m_headers.contains(headerKey) || picture.problem != PictureProblem::none)
        m_headers.insert(headerKey, {picture.problem, picture.size, {}});
    if (!picture.image.isNull()) {
        // Kept under its own width, which is what a lookup asks for once the size is known.
        Key own = key;
        own.width = picture.image.width();
        const qint64 cost = costOf(picture.image);
        m_images.insert(own, new QImage(std::move(picture.image)), cost);
        if (m_lastWidths.size() > maxHeaders)
            m_lastWidths.clear();
        m_lastWidths.insert(headerKey, own.width);
    }
    Q_EMIT pictureReady();
}

void PictureLoader::cancelPending()
{
    m_pool.clear();
    // What is running still reports; what was queued is forgotten and asked for again.
    m_decoding.clear();
    m_probing.clear();
}

qint64 PictureLoader::cachedBytes() const
{
    return m_images.totalCost();
}
