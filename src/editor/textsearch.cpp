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
