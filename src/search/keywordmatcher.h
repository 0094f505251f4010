#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

/// Case-insensitive search for one keyword, with exactly the matches of
/// `QStringView::indexOf(keyword, from, Qt::CaseInsensitive)`: simple case folding per UTF-16
/// unit, no diacritic or width folding.
///
/// Keywords made of BMP characters without line breaks (everything a user types into a search
/// field) take a fast path: a folding table instead of Qt's per-call folding, and a search of the
/// raw UTF-8 bytes of a file, without decoding it. Any other keyword falls back to Qt's own
/// search, so the results never depend on which path was taken.
///
/// A matcher is immutable once built and may be shared by several threads.
class KeywordMatcher
{
public:
    /// How the UTF-8 search finds the places it then verifies character by character. Every way
    /// gives the same answers; the slower ones exist so that tests can hold the faster to them.
    enum class Utf8Scan {
        /// Where the processor has AVX-512 or AVX2 and the keyword holds a run of characters
        /// whose case variants all have one UTF-8 length (kana, kanji, most letters): 64 or 32
        /// places at a time, ruled out by two of the run's bytes. Otherwise as `portable`.
        fastest,
        /// As `fastest` with AVX2 even where AVX-512 is there.
        avx2,
        /// memmem for a run of characters without case variants, else memchr for the variants
        /// of one character.
        portable,
    };

    explicit KeywordMatcher(const QString &keyword, Utf8Scan scan = Utf8Scan::fastest);

    const QString &keyword() const { return m_keyword; }

    /// The first match at or after `from`, or -1. An empty keyword never matches.
    qsizetype indexIn(QStringView haystack, qsizetype from = 0) const;

    /// Non-overlapping matches counted left to right, each search starting right after the
    /// previous match. 0 for an empty keyword. `first`, when given, receives the first match
    /// or -1.
    qsizetype count(QStringView haystack, qsizetype *first = nullptr) const;

    /// Whether a match can lie inside one line: true when the keyword holds no line break, so
    /// every match is inside a line and matches in different lines never interact.
    bool isLineLocal() const { return m_fast; }

    /// False only when the text that `utf8` decodes to cannot contain a match; invalid UTF-8 may
    /// give either answer (such a file is read as empty anyway). Always true on the slow path.
    bool mayMatchUtf8(QByteArrayView utf8) const;

    /// count() for the text that valid UTF-8 `utf8` holds, without decoding it; `firstByte`, when
    /// given, receives the byte offset of the first match or -1. Only for line-local keywords.
    qsizetype countUtf8(QByteArrayView utf8, qsizetype *firstByte = nullptr) const;

private:
    struct Position
    {
        char16_t folded;
        /// The UTF-8 encodings of every character that folds to `folded`.
        QList<QByteArray> variants;
    };

    qsizetype fastIndexIn(QStringView haystack, qsizetype from) const;
    struct ByteMatch
    {
        const uchar *start;
        const uchar *end;
    };
    static constexpr qsizetype maxVariants = 8;

    /// The match whose characters before m_anchorFirst end at `anchor` and whose characters
    /// from `verifyFrom` on start at `anchorEnd`, if the bytes there hold one.
    std::optional<ByteMatch> matchAroundUtf8(const uchar *begin, const uchar *end,
                                             const uchar *anchor, const uchar *anchorEnd,
                                             qsizetype verifyFrom) const;
    /// Calls `visit` with every match in `utf8`, overlapping ones included, in order, until it
    /// returns false.
    template <typename Visit> void forEachMatchUtf8(QByteArrayView utf8, Visit &&visit) const;
    template <typename Visit> void forEachProbedMatchUtf8(QByteArrayView utf8, Visit &&visit) const;
    /// Where a match whose characters from `position` on start at `p` ends; nullptr if none.
    const uchar *matchForwardUtf8(const uchar *p, const uchar *end, qsizetype position) const;
    void chooseUtf8Anchor();
    bool chooseProbes();

    QString m_keyword;
    bool m_fast = false;
    QList<Position> m_positions;
    /// The only unit that can start a match when the first character has no case variants;
    /// lets the scan jump with Qt's vectorised character search.
    char16_t m_singleFirstUnit = 0;
    bool m_hasSingleFirstUnit = false;

    // How the UTF-8 search finds places worth verifying: two probe bytes of a run of fixed-width
    // characters; or a literal run of characters without case variants (searched with memmem);
    // or else the variants of the rarest-looking position.
    struct Probe
    {
        /// Bytes from the start of the run.
        qsizetype offset = 0;
        /// The byte values the variants of the character there can have.
        QByteArray values;
    };
    bool m_probed = false;
    bool m_probedWithAvx512 = false;
    Probe m_firstProbe;
    Probe m_lastProbe;
    /// The probed run's bytes when its characters have no case variants.
    QByteArray m_runLiteral;
    QByteArray m_literal;
    qsizetype m_anchorPosition = 0;
    /// The keyword positions the anchor bytes (or the probed run) stand for.
    qsizetype m_anchorFirst = 0;
    qsizetype m_anchorCount = 1;
};
