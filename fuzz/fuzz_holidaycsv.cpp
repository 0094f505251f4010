// A holiday table put in the data folder by hand: any bytes at all.
#include "calendar/holidaycsv.h"
#include "fuzzcheck.h"

#include <QStringDecoder>

namespace {

bool hasLineBreakOrComma(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == u',' || (c >= u'\n' && c <= u'\r') || c == QChar(0x85) ||
               c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
}

bool isTrimmed(const QString &text)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    return text.isEmpty() || (!blank(text.front()) && !blank(text.back()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<HolidayCsv::Decoded> decoded = HolidayCsv::decode(bytes);
    if (!decoded)
        return 0;
    const QList<HolidayRow> rows = HolidayCsv::parse(decoded->text);
    for (const HolidayRow &row : rows) {
        FUZZ_CHECK(!hasLineBreakOrComma(row.key) && !hasLineBreakOrComma(row.name));
        FUZZ_CHECK(isTrimmed(row.key) && isTrimmed(row.name));
        if (const std::optional<QDate> date = HolidayCsv::dateOfKey(row.key))
            FUZZ_CHECK(HolidayCsv::key(*date) == row.key);
    }
    // Written back and read again, the rows are the same.
    if (const std::optional<QByteArray> rendered = HolidayCsv::render(rows)) {
        QStringDecoder shiftJis("Shift_JIS", QStringDecoder::Flag::Stateless);
        const QString text = shiftJis(*rendered);
        FUZZ_CHECK(!shiftJis.hasError());
        FUZZ_CHECK(HolidayCsv::parse(text) == rows);
    }
    HolidayCsv::extendedTable(bytes, 2020 + (size > 0 ? data[0] % 16 : 0));
    return 0;
}
