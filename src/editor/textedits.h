#pragma once

#include "editor/listlineparser.h"

#include <QString>

/// How the editor replaces its text with a new version of the same document (a merge with
/// another program's changes, a reload) while the user keeps their place in it. Pure functions
/// of their arguments; positions in UTF-16 units.
namespace TextEdits {

/// The one range of `before` that `after` changes (the rest is a common prefix and suffix),
/// and what replaces it; kept clear of the middle of surrogate pairs.
TextReplacement differingRange(const QString &before, const QString &after);

/// Where a position of `before` lies in `after` once `change` is applied. Outside the changed
/// range it moves with the text around it. Inside, it stays on the same line and column when
/// that line is found again in the changed part of `after` (the nearest such line when there
/// are several), else it goes to the end of the change.
qsizetype mapPosition(const QString &before, const QString &after,
                      const TextReplacement &change, qsizetype position);

} // namespace TextEdits

/// The editor's document ends a line not only at a line feed but also at a paragraph separator
/// (U+2029) and at U+FDD0 and U+FDD1 (its frame marks), and gives every line end back as U+2029.
/// These map a note's text to what the document is given and back, so that such a character
/// stays what it is, inside its line. In the document it is a stand-in of the same length, a lone
/// surrogate (which no text read from UTF-8 holds), so every position is the same in both forms.
namespace EditorText {

/// `text` as it is put into the document.
QString shown(QString text);
/// The note's text from the document's raw text (or a part of it): line ends become line feeds
/// and stand-ins the characters they stand for.
QString stored(QString raw);

} // namespace EditorText
