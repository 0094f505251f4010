#include "history/textdiff.h"

#include <QHash>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <vector>

namespace TextDiff {
namespace {

/// Beyond this many differing pieces in one stretch, its two sides are shown as removed and
/// added whole: the comparison's cost grows with the square of the differences.
constexpr qsizetype maxEdits = 1000;

bool writtenWithoutSpaces(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Thai:
    case QChar::Script_Lao:
    case QChar::Script_Khmer:
    case QChar::Script_Myanmar:
        return true;
    default:
        return false;
    }
}

enum class Op { same, insert, remove };

/// Myers' O(ND) comparison of a[aFrom, aTo) and b[bFrom, bTo); appends the edit script to
/// `ops`. False when more than maxEdits pieces differ (nothing is appended then).
template <typename T>
bool myers(const QList<T> &a, qsizetype aFrom, qsizetype aTo, const QList<T> &b, qsizetype bFrom,
           qsizetype bTo, std::vector<Op> &ops)
{
    const qsizetype n = aTo - aFrom;
    const qsizetype m = bTo - bFrom;
    const qsizetype max = std::min<qsizetype>(n + m, maxEdits);
    const qsizetype offset = max + 1;
    std::vector<qsizetype> v(size_t(2 * max + 3), 0);
    std::vector<std::vector<qsizetype>> trace;
    // A diagonal k = x - y outside [-m, n] lies off the grid: never entered.
    const auto onGrid = [&](qsizetype k) { return k >= -m && k <= n; };
    // Whether the path to diagonal k in round d comes down from k + 1 (an insertion) rather
    // than across from k - 1 (a removal); `at(k)` is the furthest x on diagonal k so far.
    const auto comesDown = [&](qsizetype k, qsizetype d, const auto &at) {
        const bool down = k != d && onGrid(k + 1);
        const bool across = k != -d && onGrid(k - 1);
        if (down && across)
            return at(k - 1) < at(k + 1);
        return down;
    };
    for (qsizetype d = 0; d <= max; ++d) {
        // Only the diagonals the walk back can look at from round d.
        trace.emplace_back(v.begin() + (offset - d - 1), v.begin() + (offset + d + 2));
        const auto current = [&](qsizetype k) { return v[size_t(offset + k)]; };
        for (qsizetype k = -d; k <= d; k += 2) {
            if (!onGrid(k))
                continue;
            qsizetype x = d == 0                     ? 0
                          : comesDown(k, d, current) ? current(k + 1)
                                                     : current(k - 1) + 1;
            qsizetype y = x - k;
            while (x < n && y < m && a[aFrom + x] == b[bFrom + y]) {
                ++x;
                ++y;
            }
            v[size_t(offset + k)] = x;
            if (x >= n && y >= m) {
                // Walk back through the trace to recover the script.
                std::vector<Op> reversed;
                qsizetype cx = n;
                qsizetype cy = m;
                for (qsizetype back = d; back > 0; --back) {
                    const std::vector<qsizetype> &pv = trace[size_t(back)];
                    const auto at = [&](qsizetype k) { return pv[size_t(k + back + 1)]; };
                    const qsizetype ck = cx - cy;
                    const qsizetype prevK = comesDown(ck, back, at) ? ck + 1 : ck - 1;
                    const qsizetype px = at(prevK);
                    const qsizetype py = px - prevK;
                    while (cx > px && cy > py) {
                        reversed.push_back(Op::same);
                        --cx;
                        --cy;
                    }
                    reversed.push_back(cx == px ? Op::insert : Op::remove);
                    cx = px;
                    cy = py;
                }
                while (cx > 0 && cy > 0) {
                    reversed.push_back(Op::same);
                    --cx;
                    --cy;
                }
                ops.insert(ops.end(), reversed.rbegin(), reversed.rend());
                return true;
            }
        }
    }
    return false;
}

class RunList
{
public:
    void add(DiffRun::Kind kind, QStringView text)
    {
        if (text.isEmpty())
            return;
        if (!m_runs.isEmpty() && m_runs.last().kind == kind)
            m_runs.last().text += text;
        else
            m_runs.append({kind, text.toString()});
    }
    QList<DiffRun> take() { return std::move(m_runs); }

private:
    QList<DiffRun> m_runs;
};

QStringList linesOf(QStringView text)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        end = end < 0 ? text.size() : end + 1;
        lines.append(text.sliced(start, end - start).toString());
        start = end;
    }
    return lines;
}

/// Compares two stretches of changed lines piece by piece.
void compareWithin(const QString &before, const QString &after, RunList &runs)
{
    const QStringList a = tokens(before);
    const QStringList b = tokens(after);
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        runs.add(DiffRun::Kind::same, a[head++]);
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    std::vector<Op> ops;
    if (!myers(a, head, a.size() - tail, b, head, b.size() - tail, ops)) {
        for (qsizetype i = head; i < a.size() - tail; ++i)
            runs.add(DiffRun::Kind::removed, a[i]);
        for (qsizetype i = head; i < b.size() - tail; ++i)
            runs.add(DiffRun::Kind::added, b[i]);
    } else {
        qsizetype i = head;
        qsizetype j = head;
        for (const Op op : ops) {
            if (op == Op::same) {
                runs.add(DiffRun::Kind::same, a[i++]);
                ++j;
            } else if (op == Op::remove) {
                runs.add(DiffRun::Kind::removed, a[i++]);
            } else {
                runs.add(DiffRun::Kind::added, b[j++]);
            }
        }
    }
    for (qsizetype i = a.size() - tail; i < a.size(); ++i)
        runs.add(DiffRun::Kind::same, a[i]);
}

} // namespace

QStringList tokens(QStringView text)
{
    QStringList pieces;
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text.data(), int(text.size()));
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = words.toNextBoundary();
        if (end <= start)
            end = text.size();
        const QStringView piece = text.sliced(start, end - start);
        const char32_t first = piece.front().isHighSurrogate() && piece.size() > 1
                                   ? QChar::surrogateToUcs4(piece[0], piece[1])
                                   : piece.front().unicode();
        if (piece.size() > 1 && writtenWithoutSpaces(first)) {
            // One character at a time, a surrogate pair kept whole.
            QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, piece.data(),
                                           int(piece.size()));
            qsizetype from = 0;
            while (from < piece.size()) {
                qsizetype to = characters.toNextBoundary();
                if (to <= from)
                    to = piece.size();
                pieces.append(piece.sliced(from, to - from).toString());
                from = to;
            }
        } else {
            pieces.append(piece.toString());
        }
        start = end;
    }
    return pieces;
}

QList<DiffRun> compare(const QString &before, const QString &after)
{
    RunList runs;
    if (before == after) {
        runs.add(DiffRun::Kind::same, before);
        return runs.take();
    }
    const QStringList a = linesOf(before);
    const QStringList b = linesOf(after);
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        runs.add(DiffRun::Kind::same, a[head++]);
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    // Lines stand for themselves by a number each, so equal lines compare as one integer.
    QHash<QString, int> numbers;
    QList<int> na, nb;
    const auto numberOf = [&numbers](const QString &line) {
        const auto found = numbers.constFind(line);
        if (found != numbers.cend())
            return found.value();
        const int next = int(numbers.size());
        numbers.insert(line, next);
        return next;
    };
    for (qsizetype i = head; i < a.size() - tail; ++i)
        na.append(numberOf(a[i]));
    for (qsizetype i = head; i < b.size() - tail; ++i)
        nb.append(numberOf(b[i]));
    std::vector<Op> ops;
    QString removed, added;
    const auto flush = [&] {
        if (!removed.isEmpty() || !added.isEmpty())
            compareWithin(removed, added, runs);
        removed.clear();
        added.clear();
    };
    if (!myers(na, 0, na.size(), nb, 0, nb.size(), ops)) {
        for (qsizetype i = head; i < a.size() - tail; ++i)
            removed += a[i];
        for (qsizetype i = head; i < b.size() - tail; ++i)
            added += b[i];
        runs.add(DiffRun::Kind::removed, removed);
        runs.add(DiffRun::Kind::added, added);
        removed.clear();
        added.clear();
    } else {
        qsizetype i = head;
        qsizetype j = head;
        for (const Op op : ops) {
            if (op == Op::same) {
                flush();
                runs.add(DiffRun::Kind::same, a[i++]);
                ++j;
            } else if (op == Op::remove) {
                removed += a[i++];
            } else {
                added += b[j++];
            }
        }
        flush();
    }
    for (qsizetype i = a.size() - tail; i < a.size(); ++i)
        runs.add(DiffRun::Kind::same, a[i]);
    return runs.take();
}

} // namespace TextDiff
