#pragma once

#include <QCollatorSortKey>
#include <QString>
#include <QStringView>

/// The one order for names in every list (the note list's equal dates, the folder tree, the
/// search's equal dates, quick open) and on the command line: letter case and character width
/// ignored, runs of digits compared by value ("item 2" before "item 10"), Japanese collation
/// (kana in syllabary order, common kanji by reading). It is the same whatever the process's
/// locale: under a bare C locale the system collation would compare code points, letter case
/// included.
namespace NaturalOrder {

/// Negative, zero or positive as `a` sorts before, together with or after `b`. Names that
/// differ only in letter case or width compare as equal: a list that must not reshuffle breaks
/// such ties itself (by path, by code units).
int compare(QStringView a, QStringView b);

/// Whether compare() orders `name` without the collator: a name of printable ASCII characters
/// (most file names), ordered by a table read from the collator once. Sorting many such names
/// by compare() is faster than building their keys.
bool isPlain(QStringView name);
/// Reads the table of isPlain() names from the collator now (a fraction of a millisecond) rather
/// than at the first comparison. Any thread may call it.
void prepare();
/// compare() for two names isPlain() accepts, without asking again.
int comparePlain(QStringView a, QStringView b);

/// A key that orders as compare() does, for sorting many names: a key costs about as much as
/// a few comparisons to build and far less to compare.
QCollatorSortKey sortKey(const QString &name);

} // namespace NaturalOrder
