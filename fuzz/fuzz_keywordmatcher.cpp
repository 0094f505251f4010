// The keyword search against a count anyone can check: both sides folded unit by unit and
// compared, and Qt's own case-insensitive search, whose matches the matcher promises.
#include "fuzzcheck.h"
#include "search/keywordmatcher.h"
#include "search/utf8validation.h"

#include <QStringDecoder>

namespace {

QString foldedUnits(QStringView text)
{
    QString folded(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        folded[i] = QChar(QChar::toCaseFolded(char32_t(text[i].unicode())));
    return folded;
}

bool hasSurrogate(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
}

qsizetype qtCount(QStringView haystack, const QString &keyword, qsizetype &first)
{
    qsizetype count = 0;
    first = -1;
    for (qsizetype at = haystack.indexOf(keyword, 0, Qt::CaseInsensitive); at >= 0;
         at = haystack.indexOf(keyword, at + keyword.size(), Qt::CaseInsensitive)) {
        if (count++ == 0)
            first = at;
    }
    return count;
}

qsizetype foldedCount(const QString &haystack, const QString &keyword, qsizetype &first)
{
    const QString text = foldedUnits(haystack);
    const QString key = foldedUnits(keyword);
    qsizetype count = 0;
    first = -1;
    for (qsizetype at = 0; at + key.size() <= text.size();) {
        if (QStringView(text).sliced(at, key.size()) == key) {
            if (count++ == 0)
                first = at;
            at += key.size();
        } else {
            ++at;
        }
    }
    return count;
}

// A byte-order mark inside a file is an ordinary character to the search.
QString keptBom(QByteArrayView utf8)
{
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(utf8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data);
    const qsizetype keywordBytes = std::min<qsizetype>(data[0] % 24, qsizetype(size) - 2);
    const uint8_t shape = data[1];
    const QString keyword = QString::fromUtf8(bytes + 2, keywordBytes);
    const QByteArrayView rest(bytes + 2 + keywordBytes, qsizetype(size) - 2 - keywordBytes);
    QString haystack = QString::fromUtf8(rest);
    // Matches are rare in random text: put the keyword in, in another case, now and then.
    if (shape & 1)
        haystack.insert(haystack.size() * (shape >> 1) / 128, keyword.toUpper());
    if (shape & 2)
        haystack.append(keyword.toLower());

    qsizetype qtFirst = -1;
    const qsizetype expected = keyword.isEmpty() ? 0 : qtCount(haystack, keyword, qtFirst);
    if (!hasSurrogate(keyword) && !keyword.isEmpty()) {
        qsizetype first = -1;
        FUZZ_CHECK(foldedCount(haystack, keyword, first) == expected);
        FUZZ_CHECK(first == qtFirst);
    }
    const QByteArray utf8 = haystack.toUtf8();
    const bool restIsText = Utf8Validation::decodableLength(rest) == rest.size();
    for (const auto scan : {KeywordMatcher::Utf8Scan::fastest, KeywordMatcher::Utf8Scan::avx2,
                            KeywordMatcher::Utf8Scan::portable}) {
        const KeywordMatcher matcher(keyword, scan);
        qsizetype first = -2;
        FUZZ_CHECK(matcher.count(haystack, &first) == expected);
        FUZZ_CHECK(first == qtFirst);
        const qsizetype from = haystack.size() * shape / 255;
        FUZZ_CHECK(matcher.indexIn(haystack, from) ==
                   (keyword.isEmpty() ? -1 : haystack.indexOf(keyword, from, Qt::CaseInsensitive)));
        matcher.mayMatchUtf8(rest);
        if (expected > 0)
            FUZZ_CHECK(matcher.mayMatchUtf8(utf8));
        if (!matcher.isLineLocal())
            continue;
        qsizetype firstByte = -2;
        FUZZ_CHECK(matcher.countUtf8(utf8, &firstByte) == expected);
        FUZZ_CHECK(firstByte ==
                   (qtFirst < 0 ? -1 : QStringView(haystack).first(qtFirst).toUtf8().size()));
        if (restIsText) {
            qsizetype restFirst = -1;
            FUZZ_CHECK(matcher.countUtf8(rest) == qtCount(keptBom(rest), keyword, restFirst));
        }
    }
    return 0;
}
