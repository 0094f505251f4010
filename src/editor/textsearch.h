#pragma once

#include "editor/editorlivestate.h"
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

/// Works out the caret's line and column. Lines are counted from the previous answer rather
/// than from the top, so moving the caret costs a scan of the distance moved. The counter
/// relies on the text before its last position being unchanged: report every edit through
/// noteEdit().
class CursorLineCounter
{
public:
    /// The caret info for a selection in `text` (all in UTF-16 units).
    EditorCursorInfo update(QStringView text, qsizetype selectionStart, qsizetype selectionLength);
    /// An edit changed the text from `position` on; an edit before the last counted position
    /// makes the next update count from the top.
    void noteEdit(qsizetype position);
    /// Forgets the last position (another document is shown).
    void reset();

private:
    qsizetype m_lastLocation = 0;
    qint64 m_lastLine = 1;
};
