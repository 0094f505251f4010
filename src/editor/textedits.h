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
