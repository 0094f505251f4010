#pragma once

#include "notes/notescan.h"
#include "storage/sortmode.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

/// The three orders of the note list.
namespace NoteOrder {

/// Newest first. Notes with the same date are ordered by file name in NaturalOrder, then by
/// path, so the list does not reshuffle between two refreshes.
void sortByDate(QList<NoteFileItem> &items);

/// The paths of `items` in the order of `mode`:
/// - modificationDate: newest first;
/// - pinsFirst: the pinned notes newest first, then the others newest first;
/// - viewCount: most opened first, equal counts newest first.
/// `pinned` and `viewCounts` are keyed by path; a missing count is 0.
QStringList orderNotes(QList<NoteFileItem> items, NotesFileSortMode mode,
                       const QSet<QString> &pinned, const QHash<QString, int> &viewCounts);

/// As above, with the pins and view counts stored for the current base folder.
QStringList orderNotes(QList<NoteFileItem> items, NotesFileSortMode mode);

} // namespace NoteOrder
