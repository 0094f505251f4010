#include "editor/textsearch.h"

#include <algorithm>

namespace TextSearch {

QList<Match> findMatches(QStringView text, QStringView query)
{
    QList<Match> matches;
    if (query.isEmpty())
        return matches;
    qsizetype from = 0;
    while (true) {
        const qsizetype found = text.indexOf(query, from, Qt::CaseInsensitive);
        if (found < 0)
            break;
        matches.append({found, query.size()});
        from = found + query.size();
    }
    return matches;
}

int clampedIndex(int index, int count)
{
    return count > 0 ? std::clamp(index, 0, count - 1) : 0;
}

int steppedIndex(int current, int count, SearchDirection direction)
{
    if (count <= 0)
        return 0;
    const int step = direction == SearchDirection::next ? 1 : -1;
    return (clampedIndex(current, count) + step + count) % count;
}

} // namespace TextSearch

EditorCursorInfo CursorLineCounter::update(QStringView text, qsizetype selectionStart,
                                           qsizetype selectionLength)
{
    const qsizetype length = text.size();
    const qsizetype location = std::clamp<qsizetype>(selectionStart, 0, length);
    const qsizetype selected = std::clamp<qsizetype>(selectionLength, 0, length - location);
    if (length == 0) {
        reset();
        return {1, 1, selected, 0};
    }
    // Measured on the caret's own line, so the empty line after a final line feed is column 1.
    const qsizetype lineStart = location == 0 ? 0 : text.lastIndexOf(u'\n', location - 1) + 1;

    const qsizetype previous = std::min(length, m_lastLocation);
    qint64 line = m_lastLine;
    if (m_lastLocation < location)
        line += text.sliced(previous, location - previous).count(u'\n');
    else if (location < previous)
        line -= text.sliced(location, previous - location).count(u'\n');
    m_lastLocation = location;
    m_lastLine = std::max<qint64>(line, 1);
    return {m_lastLine, location - lineStart + 1, selected, length};
}

void CursorLineCounter::noteEdit(qsizetype position)
{
    if (position < m_lastLocation)
        reset();
}

void CursorLineCounter::reset()
{
    m_lastLocation = 0;
    m_lastLine = 1;
}
