#include "calendar/holidaycsv.h"

#include "calendar/holidayrules.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace HolidayCsv {

namespace {

const char *const shiftJisName = "Shift_JIS";
const char *const eucJpName = "EUC-JP";

std::optional<QString> strictlyDecoded(QStringDecoder decoder, const QByteArray &bytes)
{
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QString> strictlyDecoded(const char *encoding, const QByteArray &bytes)
{
    return strictlyDecoded(QStringDecoder(encoding, QStringConverter::Flag::Stateless), bytes);
}

bool isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

// Holiday names are written in full-width characters; half-width katakana in a Shift-JIS
// reading is what EUC-JP bytes turn into when read as Shift-JIS.
bool hasHalfWidthKatakana(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0xFF61 && c.unicode() <= 0xFF9F; });
}

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QStringView trimmedSpacesAndTabs(QStringView text)
{
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

std::optional<HolidayRow> parseLine(QStringView line)
{
    const qsizetype comma = line.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    QStringView name = line.sliced(comma + 1);
    if (const qsizetype nextComma = name.indexOf(u','); nextComma >= 0)
        name = name.first(nextComma);
    return HolidayRow{trimmedSpacesAndTabs(line.first(comma)).toString(),
                      trimmedSpacesAndTabs(name).toString()};
}

} // namespace

std::optional<Decoded> decode(const QByteArray &bytes)
{
    const auto utf8 = strictlyDecoded(QStringDecoder(QStringConverter::Utf8), bytes);
    // Shift-JIS text is practically never valid UTF-8 once it holds a single Japanese letter,
    // while UTF-8 text often passes as (garbled) Shift-JIS; so valid UTF-8 goes first.
    if (utf8 && !isAscii(bytes))
        return Decoded{*utf8, Encoding::utf8};
    if (const auto shiftJis = strictlyDecoded(shiftJisName, bytes)) {
        if (hasHalfWidthKatakana(*shiftJis)) {
            const auto eucJp = strictlyDecoded(eucJpName, bytes);
            if (eucJp && !hasHalfWidthKatakana(*eucJp))
                return Decoded{*eucJp, Encoding::eucJp};
        }
        return Decoded{*shiftJis, Encoding::shiftJis};
    }
    if (utf8)
        return Decoded{*utf8, Encoding::utf8};
    if (const auto eucJp = strictlyDecoded(eucJpName, bytes))
        return Decoded{*eucJp, Encoding::eucJp};
    return std::nullopt;
}

QList<HolidayRow> parse(QStringView text)
{
    QList<HolidayRow> rows;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineBreak(text[i]))
            continue;
        if (const auto row = parseLine(text.sliced(lineStart, i - lineStart)))
            rows.append(*row);
        lineStart = i + 1;
    }
    return rows;
}

QString key(const QDate &date)
{
    return QStringLiteral("%1/%2/%3")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month())
        .arg(date.day());
}

std::optional<QDate> dateOfKey(QStringView text)
{
    const QList<QStringView> parts = text.split(u'/');
    if (parts.size() != 3)
        return std::nullopt;
    const QDate date(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
    // Going back through key() rejects leading zeros, signs and anything else it never writes.
    if (!date.isValid() || key(date) != text)
        return std::nullopt;
    return date;
}

std::optional<QByteArray> render(const QList<HolidayRow> &rows)
{
    QString text;
    for (const HolidayRow &row : rows)
        text += row.key + u',' + row.name + u"\r\n";
    QStringEncoder encoder(shiftJisName, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> extendedTable(const QByteArray &published, int untilYear)
{
    const auto decoded = decode(published);
    if (!decoded)
        return std::nullopt;
    QList<HolidayRow> rows = parse(decoded->text);
    int lastYear = 0;
    for (const HolidayRow &row : std::as_const(rows)) {
        if (const auto date = dateOfKey(row.key))
            lastYear = std::max(lastYear, date->year());
    }
    if (lastYear == 0)
        return std::nullopt;
    if (dateOfKey(rows.first().key))
        rows.prepend(parse(officialHeader).first());
    for (int year = lastYear + 1; year <= untilYear; ++year) {
        for (const HolidayRules::Holiday &holiday : HolidayRules::holidaysOfYear(year))
            rows.append({key(holiday.date), holiday.name});
    }
    return render(rows);
}

} // namespace HolidayCsv
