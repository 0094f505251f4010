#pragma once

#include <QByteArray>
#include <QString>

/// The holiday table that ships with the application: the published table followed by the
/// years computed from the holiday law, in the published file's own format. It seeds the
/// default base folder when the application creates that folder, so a new user sees holidays
/// at once; a folder the user chose is never written to.
namespace BundledHolidays {

/// The last year the shipped table covers.
constexpr int untilYear = 2050;

/// The shipped table's bytes (Shift-JIS, CRLF, official header).
QByteArray table();

/// Writes the shipped table to "Data/syukujitsu.csv" inside `baseFolder`, atomically, unless a
/// table is already there. Returns false when it could not be written.
bool writeTo(const QString &baseFolder);

/// Makes PathManager seed every default base folder it creates with the shipped table. Call
/// once at start-up, before the base folder is first used.
void installDefaultFolderHandler();

} // namespace BundledHolidays
