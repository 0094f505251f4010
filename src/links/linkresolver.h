#pragma once

#include "links/notelinks.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

/// Which note a link leads to, among the notes of a base folder (their paths below it, "/"
/// between folders, as NoteFiles lists them).
///
/// A wiki link's name is compared with each note's file name without its extension after
/// NoteLinks::fold (NFC and NFD, full and half width, letter case alike). A name with a folder
/// part ("仕事/計画") fits only notes in a folder whose path below the base folder is that part
/// or ends with it. Among several fits the note spelt exactly as the link is the better one, then
/// the one in the linking note's own folder; fits that are still equal are ambiguous, never
/// guessed. A name that is a date ("2026-12-07") leads to that day's memo (Daily/2026-12-07.txt)
/// before any other note of that name. A markdown link's path is taken from the linking note's
/// folder, exactly, else folded.
class LinkResolver
{
public:
    struct Resolution
    {
        enum class Status { found, missing, ambiguous };
        Status status = Status::missing;
        /// The note found, or the equal fits of an ambiguous link (sorted).
        QStringList paths;
        /// For a missing target: where a new note of that name would go (the day's memo for a
        /// date, beside the linking note otherwise); empty when the name cannot be a file name.
        QString createPath;
    };

    explicit LinkResolver(const QStringList &notePaths = {});

    void addNote(const QString &path);
    void removeNote(const QString &path);
    const QStringList &notes() const { return m_paths; }

    Resolution resolve(const NoteLinks::Link &link, const QString &fromNote) const;
    /// A wiki link's name (folder part allowed, no heading).
    Resolution resolveName(const QString &name, const QString &fromNote) const;

    /// The folded key of a note's file name without its extension: what wiki links to it are
    /// looked up by (and what the index stores for each link).
    static QString nameKey(const QString &notePath);
    /// The folded key a link is looked up by: its target's last part without an extension.
    static QString linkKey(const NoteLinks::Link &link);

    static QString baseName(const QString &notePath);
    static QString folderOf(const QString &notePath);

private:
    QStringList m_paths;
    /// nameKey -> paths
    QHash<QString, QStringList> m_byName;
    /// fold(path) -> paths
    QHash<QString, QStringList> m_byPath;
};
