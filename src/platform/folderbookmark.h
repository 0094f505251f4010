#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// A remembered folder: its path together with its identity on disk (device and inode), so
/// that the folder is found again after it was renamed in place, and a folder that was replaced
/// by another one under the same path is noticed. The data is small JSON, stored as is in the
/// settings.
namespace FolderBookmark {

struct Resolution
{
    QString path;
    /// True when the folder was found but no longer matches the recorded data (renamed, or a
    /// different folder now stands at the path): the caller should record a fresh bookmark.
    bool stale = false;
};

/// Bookmark data for an existing folder; nothing when `folderPath` is not a folder.
std::optional<QByteArray> create(const QString &folderPath, QString *error = nullptr);

/// Finds the folder of a bookmark again; nothing when the data is not a bookmark or the folder
/// is gone.
std::optional<Resolution> resolve(const QByteArray &data);

/// Starts using a resolved folder: true when it is a folder this process may read.
bool startAccess(const QString &folderPath);

/// Ends the use started by startAccess. Nothing needs releasing on this platform.
void stopAccess(const QString &folderPath);

} // namespace FolderBookmark
