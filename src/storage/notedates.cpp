#include "storage/notedates.h"

#include "platform/clock.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>

namespace {

enum class ZoneForm {
    None,     // no zone: local time
    Extended, // "Z" or ±HH:MM
    Basic,    // "Z", ±HH or ±HHMM
};

// One accepted layout. Every layout shares the same field order, so a single regular expression
// splits the text and the table only decides which combinations are allowed. Since the fields
// alone determine the instant, it does not matter which row accepts a text.
struct Layout
{
    char separator; // 'T', ' ', or 0 for a bare date
    int minFraction;
    int maxFraction;
    ZoneForm zone;
};

constexpr Layout acceptedLayouts[] = {
    {'T', 6, 6, ZoneForm::Extended}, // yyyy-MM-dd'T'HH:mm:ss.SSSSSSXXXXX
    {'T', 3, 3, ZoneForm::Extended}, // yyyy-MM-dd'T'HH:mm:ss.SSSXXXXX
    {'T', 0, 0, ZoneForm::Extended}, // yyyy-MM-dd'T'HH:mm:ssXXXXX
    {'T', 6, 6, ZoneForm::Basic},    // yyyy-MM-dd'T'HH:mm:ss.SSSSSSX
    {'T', 3, 3, ZoneForm::Basic},    // yyyy-MM-dd'T'HH:mm:ss.SSSX
    {'T', 0, 0, ZoneForm::Basic},    // yyyy-MM-dd'T'HH:mm:ssX
    {'T', 6, 6, ZoneForm::None},     // yyyy-MM-dd'T'HH:mm:ss.SSSSSS
    {'T', 3, 3, ZoneForm::None},     // yyyy-MM-dd'T'HH:mm:ss.SSS
    {'T', 0, 0, ZoneForm::None},     // yyyy-MM-dd'T'HH:mm:ss
    {' ', 3, 3, ZoneForm::None},     // yyyy-MM-dd HH:mm:ss.SSS
    {' ', 0, 0, ZoneForm::None},     // yyyy-MM-dd HH:mm:ss
    {0, 0, 0, ZoneForm::None},       // yyyy-MM-dd
    // Internet date-time (RFC 3339). Its fraction is read up to milliseconds, the precision a
    // date keeps here; longer fractions only get through the lenient retry, which drops them.
    {'T', 1, 3, ZoneForm::Extended},
    {'T', 0, 0, ZoneForm::Extended},
};

enum Capture { Year = 1, Month, Day, Separator, Hour, Minute, Second, Fraction, Zone };

const QRegularExpression &dateShape()
{
    // clang-format off
    static const QRegularExpression shape(QStringLiteral(
        "^([0-9]{4})-([0-9]{2})-([0-9]{2})"
        "(?:([T ])([0-9]{2}):([0-9]{2}):([0-9]{2})"
        "(?:\\.([0-9]+))?"
        "(Z|[+-][0-9]{2}(?::?[0-9]{2})?)?)?\\z"));
    // clang-format on
    return shape;
}

bool zoneFits(QStringView zone, ZoneForm form)
{
    if (zone.isEmpty())
        return form == ZoneForm::None;
    if (zone == u"Z")
        return form != ZoneForm::None;
    const bool extended = zone.size() == 6; // ±HH:MM
    return form == (extended ? ZoneForm::Extended : ZoneForm::Basic);
}

bool isAcceptedLayout(QStringView separator, qsizetype fractionDigits, QStringView zone)
{
    const char sep = separator.isEmpty() ? 0 : char(separator.front().unicode());
    return std::any_of(
        std::begin(acceptedLayouts), std::end(acceptedLayouts), [&](const Layout &layout) {
            return layout.separator == sep && fractionDigits >= layout.minFraction &&
                   fractionDigits <= layout.maxFraction && zoneFits(zone, layout.zone);
        });
}

// Offset east of UTC in seconds, or nothing when the hours or minutes are out of range.
std::optional<int> zoneOffset(QStringView zone)
{
    if (zone == u"Z")
        return 0;
    const int hours = zone.mid(1, 2).toInt();
    const QStringView minuteDigits = zone.size() == 6 ? zone.mid(4, 2) : zone.mid(3, 2);
    const int minutes = minuteDigits.isEmpty() ? 0 : minuteDigits.toInt();
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    const int sign = zone.front() == u'-' ? -1 : 1;
    return sign * (hours * 3600 + minutes * 60);
}

int milliseconds(QStringView fraction)
{
    // Digits beyond the third are dropped, not rounded.
    return fraction.isEmpty() ? 0 : fraction.left(3).toString().leftJustified(3, u'0').toInt();
}

std::optional<QDateTime> localDateTime(QDate date, QTime time)
{
    const QDateTime local(date, time, Clock::current().timeZone());
    // A wall time skipped by a daylight-saving change names no instant. Depending on the Qt
    // version it comes back invalid or shifted by the gap; a strict reader refuses both.
    if (!local.isValid() || local.date() != date || local.time() != time)
        return std::nullopt;
    return local;
}

std::optional<QDateTime> parsePatterned(const QString &text)
{
    const QRegularExpressionMatch match = dateShape().match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QStringView fraction = match.capturedView(Fraction);
    const QStringView zone = match.capturedView(Zone);
    if (!isAcceptedLayout(match.capturedView(Separator), fraction.size(), zone))
        return std::nullopt;

    const auto number = [&](Capture capture) { return match.capturedView(capture).toInt(); };
    const QDate date(number(Year), number(Month), number(Day));
    const QTime time(number(Hour), number(Minute), number(Second), milliseconds(fraction));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    if (zone.isEmpty())
        return localDateTime(date, time);
    const std::optional<int> offset = zoneOffset(zone);
    if (!offset)
        return std::nullopt;
    return QDateTime(date, time, QTimeZone::utc()).addSecs(-*offset);
}

// Plain numbers are epoch timestamps; the length tells seconds from milliseconds. Short numbers
// and numerals that are not ASCII digits fall through to the date layouts.
std::optional<QDateTime> parseTimestamp(const QString &text)
{
    const bool numeric =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.isNumber(); });
    if (!numeric || text.size() < 9)
        return std::nullopt;
    const bool asciiDigits =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool ok = false;
    const qint64 value = asciiDigits ? text.toLongLong(&ok) : 0;
    if (!ok)
        return std::nullopt;
    const QDateTime instant = text.size() >= 12
                                  ? QDateTime::fromMSecsSinceEpoch(value, QTimeZone::utc())
                                  : QDateTime::fromSecsSinceEpoch(value, QTimeZone::utc());
    return instant.isValid() ? std::optional(instant) : std::nullopt;
}

bool isSpaceOrLineBreak(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space || c == u'\n' || c == u'\r' ||
           c == QChar(0x0B) || c == QChar(0x0C) || c == QChar(0x85) || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

QString trimmedSpaceAndLineBreaks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpaceOrLineBreak(text.at(begin)))
        ++begin;
    while (end > begin && isSpaceOrLineBreak(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

std::optional<QDateTime> parseFrontMatterDate(const QString &text)
{
    if (std::optional<QDateTime> instant = parseTimestamp(text))
        return instant;
    return parsePatterned(text);
}

std::optional<QDateTime> parseFrontMatterDateLenient(const QString &text)
{
    const QString trimmed = trimmedSpaceAndLineBreaks(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    if (std::optional<QDateTime> date = parseFrontMatterDate(trimmed))
        return date;
    static const QRegularExpression fractionRun(QStringLiteral("\\.\\d+"),
                                                QRegularExpression::UseUnicodePropertiesOption);
    QString withoutFractions = trimmed;
    withoutFractions.remove(fractionRun);
    if (withoutFractions == trimmed)
        return std::nullopt;
    return parseFrontMatterDate(withoutFractions);
}

QString formatFrontMatterDate(const QDateTime &date)
{
    if (!date.isValid())
        return {};
    const QDateTime local = date.toTimeZone(Clock::current().timeZone());
    const QDate day = local.date();
    const QTime time = local.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", day.year(), day.month(), day.day(),
                             time.hour(), time.minute(), time.second());
}
