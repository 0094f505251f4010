#pragma once

#include <QByteArray>
#include <QString>

/// Why a picture is not shown. Each has the text the placeholder box shows.
enum class PictureProblem {
    none,
    missing,     ///< no file at the path
    undecodable, ///< not a picture the program can read
    outside,     ///< the path leads outside the base folder (.., an absolute path, a link)
    tooLarge,    ///< more pixels or bytes than are decoded safely
    remote,      ///< http(s) and other remote addresses are never fetched
};

namespace PictureProblems {
/// The placeholder's text: 「画像が見つかりません」 and its kin; empty for none.
QString text(PictureProblem problem);
} // namespace PictureProblems

/// Where the pixels of a picture come from, once its destination is understood.
struct PictureTarget
{
    enum class Kind { file, data, refused };
    Kind kind = Kind::refused;
    PictureProblem problem = PictureProblem::none; ///< why, for refused
    QString path;     ///< file: the canonical path of the picture, inside the base folder; data:
                      ///< "data:" and a digest of the bytes
    QByteArray bytes; ///< data: the decoded bytes of a data: URL
    /// What the picture is called when it has no description: its file name, or "data:".
    QString displayName;

    bool operator==(const PictureTarget &) const = default;
};

/// The limits that keep a picture from exhausting memory, checked before anything is decoded.
namespace PictureLimits {
/// Largest file or data: picture read, in bytes.
inline constexpr qint64 maxFileBytes = 64ll * 1024 * 1024;
/// Largest data: picture (its decoded bytes) shown; a larger one is "too large".
inline constexpr qint64 maxDataBytes = 1024ll * 1024;
/// Most pixels a raster picture may have, read from its header.
inline constexpr qint64 maxPixels = 64ll * 1000 * 1000;
/// What Qt's image reader may allocate for one picture, in megabytes.
inline constexpr int allocationLimitMB = 256;
} // namespace PictureLimits

namespace PicturePath {

/// Resolves a picture's destination (as PictureReference::destination gives it) written in the
/// note in `noteFolder`. A relative path is relative to that folder; percent-encoding is
/// decoded (a file whose name really holds "%20" is found too). Only a regular file whose
/// canonical path (links followed) lies inside `baseFolder` is a file target; `..` and absolute
/// paths that stay inside the base folder are fine. http(s) and other remote URLs are refused
/// as remote; `data:image/...;base64,` URLs are data targets when small enough.
PictureTarget resolve(const QString &destination, const QString &noteFolder,
                      const QString &baseFolder);

/// The path of `file` relative to `folder`, with "/" separators ("Note.assets/a.png").
QString relativePath(const QString &folder, const QString &file);

} // namespace PicturePath
