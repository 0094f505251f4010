#pragma once

#include "platform/editorcommands.h"

#include <QList>
#include <QStringView>

/// In-editor search: literal, case-insensitive matches and stepping through them.
namespace TextSearch {

struct Match
{
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const Match &) const = default;
};

/// Every occurrence of `query` in `text`, left to right, never overlapping. The query is
/// literal text (no pattern), compared without regard to case. An empty query finds nothing.
QList<Match> findMatches(QStringView text, QStringView query);

/// `index` kept inside [0, count − 1]; 0 when there is nothing to point at.
int clampedIndex(int index, int count);

/// The match after (or before) `current`, wrapping around at either end.
int steppedIndex(int current, int count, SearchDirection direction);

} // namespace TextSearch
