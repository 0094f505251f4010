#pragma once

#include "pictures/picturedecoder.h"

#include <QCache>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>

/// Decodes pictures off the GUI thread and keeps the decoded ones. A picture is looked up by
/// its target and the width it is shown at; the answer comes at once: the picture when it is
/// decoded, else its size when the header has been read (so its place can be kept) and work is
/// started. pictureReady() follows when something new is known.
///
/// Decoded pictures are kept by path, modification time and width (a changed file is read
/// again) in a cache of at most budgetBytes; beyond it the least recently used go. Headers are
/// read by higher-priority jobs than decodes, so every picture's place is known early. Main
/// thread only; the destructor drops queued jobs and waits for the running ones.
class PictureLoader : public QObject
{
    Q_OBJECT

public:
    /// The most memory the decoded pictures kept take: 128 MiB.
    static constexpr qint64 budgetBytes = 128ll * 1024 * 1024;

    struct Lookup
    {
        PictureProblem problem = PictureProblem::none;
        QSize size;   ///< the size it is shown at, when known
        QImage image; ///< the picture, once decoded (meanwhile, at another width, when known)
        bool interim = false; ///< `image` is at another width, until this one is decoded
        bool pending() const
        {
            return problem == PictureProblem::none && (image.isNull() || interim);
        }
    };

    explicit PictureLoader(QObject *parent = nullptr);
    ~PictureLoader() override;

    /// What is known of `target` shown at most `maxWidth` pixels wide; starts reading it.
    Lookup lookup(const PictureTarget &target, int maxWidth);

    /// Drops the jobs not started yet (another note is shown).
    void cancelPending();

    /// Bytes of the decoded pictures kept now (at most budgetBytes).
    qint64 cachedBytes() const;
    /// Jobs queued or running.
    int pendingJobs() const { return int(m_decoding.size() + m_probing.size()); }

Q_SIGNALS:
    /// A header was read or a picture decoded: lookups may answer differently now.
    void pictureReady();

private:
    struct Key
    {
        QString source; ///< canonical path, or a digest of data: bytes
        qint64 modified = 0;
        int width = 0;
        bool operator==(const Key &) const = default;
    };
    friend size_t qHash(const Key &key, size_t seed) noexcept
    {
        return qHashMulti(seed, key.source, key.modified, key.width);
    }

    Key keyOf(const PictureTarget &target, int width) const;
    void headerRead(const Key &headerKey, const DecodedPicture &header);
    void decoded(const Key &key, const Key &headerKey, DecodedPicture picture);

    QThreadPool m_pool;
    QCache<Key, QImage> m_images;
    QHash<Key, DecodedPicture> m_headers; ///< by source and time, width 0
    QHash<Key, int> m_lastWidths;         ///< by source and time: the width last decoded
    QSet<Key> m_decoding;
    QSet<Key> m_probing;
};
