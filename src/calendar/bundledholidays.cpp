#include "calendar/bundledholidays.h"

#include <QFile>

namespace BundledHolidays {

QByteArray table()
{
    QFile file(QStringLiteral(":/holidays/syukujitsu.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace BundledHolidays
