#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Dates as they appear in note headers. "Local" below always means the time zone of
// Clock::current(), so tests can pin it.

/// Reads a header date. Accepted, first match wins:
/// - only digits: 12 or more are milliseconds since 1970-01-01 UTC, 9 to 11 are seconds;
/// - yyyy-MM-dd'T'HH:mm:ss with no fraction, exactly 3 or exactly 6 fractional digits, and a zone
///   that is "Z", ±HH:MM, ±HH, ±HHMM or absent (absent means local time);
/// - yyyy-MM-dd HH:mm:ss with no fraction or exactly 3 fractional digits, local time;
/// - yyyy-MM-dd, local midnight;
/// - the internet date-time form yyyy-MM-dd'T'HH:mm:ss with 1 to 3 fractional digits and a zone of
///   "Z" or ±HH:MM.
/// Fields are checked strictly: month 13, February 30, hour 24 or a local time skipped by a
/// daylight-saving change give no date. Fractions finer than milliseconds are truncated.
std::optional<QDateTime> parseFrontMatterDate(const QString &text);

/// Like parseFrontMatterDate after trimming white space and line breaks; when that fails, retries
/// once with every "." + digits run removed, which is how over-precise fractions still get read.
std::optional<QDateTime> parseFrontMatterDateLenient(const QString &text);

/// Formats `date` as yyyy-MM-dd'T'HH:mm:ss in local time, without a zone. An invalid date gives an
/// empty string.
QString formatFrontMatterDate(const QDateTime &date);
