#pragma once

#include <QByteArray>
#include <QString>

/// The holiday table that ships with the application: the published table followed by the
/// years computed from the holiday law, in the published file's own format. It serves every
/// base folder without a table of its own; it is read from the program, never copied into the
/// user's folder, so an updated program brings its updated table to every folder.
namespace BundledHolidays {

/// The last year the shipped table covers.
constexpr int untilYear = 2050;

/// The shipped table's bytes (Shift-JIS, CRLF, official header).
QByteArray table();

} // namespace BundledHolidays
