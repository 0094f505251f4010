#include "platform/naturalorder.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <array>
#include <vector>

namespace NaturalOrder {
namespace {

// A collator changes its own state while comparing, so every thread keeps its own. The locale
// is fixed: the interface is Japanese, and the process's locale (C.UTF-8 on many systems) must
// not reorder the lists.
const QCollator &collator()
{
    thread_local const QCollator collator = [] {
        QCollator made(QLocale(QLocale::Japanese, QLocale::Japan));
        made.setCaseSensitivity(Qt::CaseInsensitive);
        made.setNumericMode(true);
        return made;
    }();
    return collator;
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

/// The collator's order of the printable ASCII characters, read from the collator itself once.
/// Names made only of them (most file names: "2024-05-01.md", "note 12.md") are then compared
/// here, a character at a time, where the collator would first turn both names into weights.
///
/// That gives the collator's answer as long as every one of these characters is a single weight
/// that differs from its neighbours' at the first level (letter case aside), which the
/// construction checks: then comparing names is comparing their sequences of ranks, with a run
/// of digits one element that sorts where the digits do and compares by value.
class AsciiOrder
{
public:
    AsciiOrder()
    {
        const QCollator &order = collator();
        std::vector<char16_t> characters;
        for (char16_t c = 0x20; c < 0x7F; ++c) {
            // A character the collator ignores leaves its name to the collator. (Compared
            // beside a letter: QCollator puts any text after the empty one.)
            const char16_t withLetter[] = {c, u'a'};
            if (order.compare(QStringView(withLetter, 2), u"a") != 0)
                characters.push_back(c);
        }
        std::stable_sort(characters.begin(), characters.end(), [&](char16_t a, char16_t b) {
            return order.compare(QStringView(&a, 1), QStringView(&b, 1)) < 0;
        });
        quint8 rank = 1;
        for (size_t i = 0; i < characters.size(); ++i) {
            if (i > 0) {
                const char16_t pair[] = {characters[i - 1], u'b', characters[i], u'a'};
                const QStringView before(pair, 2);
                const QStringView after(pair + 2, 2);
                const int single = order.compare(QStringView(pair, 1), QStringView(pair + 2, 1));
                // Ties are letter case; a difference must show before the next character's.
                if (single != 0 && order.compare(before, after) >= 0)
                    return;
                if (single != 0)
                    ++rank;
            }
            m_rank[characters[i]] = rank;
        }
        // The digits: ten ranks of their own in a row, so that a number sorts against any other
        // character as its digits do; and numbers compared by value.
        for (char16_t c = 0x20; c < 0x7F; ++c) {
            const bool inDigits = m_rank[c] >= m_rank[u'0'] && m_rank[c] <= m_rank[u'9'];
            if (isDigit(c) ? m_rank[c] == 0 || m_rank[c] != m_rank[u'0'] + (c - u'0') : inDigits)
                return;
        }
        if (order.compare(u"9", u"10") >= 0 || order.compare(u"a01", u"a1") != 0)
            return;
        m_usable = true;
        m_coversPrintable = std::all_of(m_rank.begin() + 0x20, m_rank.begin() + 0x7F,
                                        [](quint8 rank) { return rank != 0; });
    }

    /// Whether every character of `name` is one of those compared here. The collator cuts very
    /// long numbers into pieces; names with them are left to it.
    bool covers(QStringView name) const
    {
        if (!m_usable)
            return false;
        constexpr qsizetype longestNumber = 200;
        if (m_coversPrintable && name.size() <= longestNumber) {
            // One test per character, without a branch: names come by the thousand.
            bool printable = true;
            for (const QChar c : name)
                printable &= char16_t(c.unicode() - 0x20) < 0x5F;
            return printable;
        }
        qsizetype digits = 0;
        for (const QChar c : name) {
            const char16_t unit = c.unicode();
            if (unit >= 0x80 || m_rank[unit] == 0)
                return false;
            digits = isDigit(unit) ? digits + 1 : 0;
            if (digits > longestNumber)
                return false;
        }
        return true;
    }

    /// compare() for two names covers() accepts.
    int compare(QStringView a, QStringView b) const
    {
        // Equal leading characters weigh the same in both, except digits that begin a number.
        qsizetype start =
            std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first -
            a.begin();
        while (start > 0 && isDigit(a[start - 1].unicode()))
            --start;
        qsizetype i = start;
        qsizetype j = start;
        while (i < a.size() && j < b.size()) {
            const char16_t x = a[i].unicode();
            const char16_t y = b[j].unicode();
            if (isDigit(x) && isDigit(y)) {
                if (const int order = compareNumbers(a, i, b, j); order != 0)
                    return order;
                continue;
            }
            const quint8 rankX = isDigit(x) ? m_rank[u'0'] : m_rank[x];
            const quint8 rankY = isDigit(y) ? m_rank[u'0'] : m_rank[y];
            if (rankX != rankY)
                return rankX < rankY ? -1 : 1;
            ++i;
            ++j;
        }
        // Every character left weighs something: the longer name sorts after.
        return (i < a.size()) - (j < b.size());
    }

private:
    /// Compares the numbers starting at a[i] and b[j] by value, and moves both past them.
    static int compareNumbers(QStringView a, qsizetype &i, QStringView b, qsizetype &j)
    {
        const auto number = [](QStringView text, qsizetype &at) {
            while (at + 1 < text.size() && text[at] == u'0' && isDigit(text[at + 1].unicode()))
                ++at; // leading zeros weigh nothing
            const qsizetype start = at;
            while (at < text.size() && isDigit(text[at].unicode()))
                ++at;
            return text.sliced(start, at - start);
        };
        const QStringView x = number(a, i);
        const QStringView y = number(b, j);
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        const int order = x.compare(y);
        return (order > 0) - (order < 0);
    }

    std::array<quint8, 0x80> m_rank{};
    bool m_usable = false;
    bool m_coversPrintable = false;
};

const AsciiOrder &asciiOrder()
{
    static const AsciiOrder order;
    return order;
}

} // namespace

bool isPlain(QStringView name)
{
    return asciiOrder().covers(name);
}

void prepare()
{
    asciiOrder();
}

int compare(QStringView a, QStringView b)
{
    if (isPlain(a) && isPlain(b))
        return asciiOrder().compare(a, b);
    return collator().compare(a, b);
}

int comparePlain(QStringView a, QStringView b)
{
    Q_ASSERT(isPlain(a) && isPlain(b));
    return asciiOrder().compare(a, b);
}

QCollatorSortKey sortKey(const QString &name)
{
    return collator().sortKey(name);
}

} // namespace NaturalOrder
