#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <optional>

/// One record of a holiday table: the date key and the holiday's name, both trimmed.
struct HolidayRow
{
    QString key;
    QString name;

    bool operator==(const HolidayRow &) const = default;
};

/// The holiday table's file format, as the Cabinet Office publishes it: one "date,name" record
/// per line, dates written "yyyy/M/d" without leading zeros, usually in Shift-JIS with CRLF and
/// a header line. Pure functions; Qt Core only.
namespace HolidayCsv {

/// The header line of the published table.
inline const QString officialHeader = QStringLiteral("国民の祝日・休日月日,国民の祝日・休日名称");

enum class Encoding { shiftJis, utf8, eucJp };

struct Decoded
{
    QString text;
    Encoding encoding;
};

/// The file's text: Shift-JIS, else UTF-8, else EUC-JP, each decoded strictly. Bytes that are
/// valid UTF-8 and not plain ASCII are read as UTF-8 first, and a Shift-JIS reading that only
/// looks like Japanese as half-width katakana gives way to a clean EUC-JP reading: both would
/// otherwise "succeed" as Shift-JIS with garbled names. Nothing when no encoding fits.
std::optional<Decoded> decode(const QByteArray &bytes);

/// The records of a table's text: lines split at every line break, fields at ",", lines with
/// fewer than two fields skipped, spaces and tabs trimmed from key and name, further fields
/// ignored. A header line comes back as a record like any other.
QList<HolidayRow> parse(QStringView text);

/// The key a date is listed under: "yyyy/M/d", no leading zeros in month and day.
QString key(const QDate &date);

/// The date of a key written exactly as key() writes it; nothing for anything else (a header,
/// leading zeros, a date that does not exist).
std::optional<QDate> dateOfKey(QStringView key);

/// The rows as a published file: Shift-JIS, one "key,name" line each, every line ending in
/// CRLF. Nothing when a name has no Shift-JIS form.
std::optional<QByteArray> render(const QList<HolidayRow> &rows);

/// The published table with the years after its last dated row up to `untilYear` appended, as
/// computed by HolidayRules, and the official header in front when it had none. Nothing when
/// the published bytes cannot be read or hold no dated row.
std::optional<QByteArray> extendedTable(const QByteArray &published, int untilYear);

} // namespace HolidayCsv
