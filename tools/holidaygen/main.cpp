// Prints the holiday table the application ships: the Cabinet Office's published table
// followed by the years after it, computed from the holiday law. Regenerate the resource with
//   holidaygen tests/data/holidays/syukujitsu.csv > resources/holidays/syukujitsu.csv
// whenever a newer published table is copied in.

#include "calendar/holidaycsv.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

constexpr int defaultUntilYear = 2050;

int usage()
{
    std::fputs("usage: holidaygen [--until YEAR] PUBLISHED.csv > syukujitsu.csv\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    int untilYear = defaultUntilYear;
    const char *publishedPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--until") == 0 && i + 1 < argc) {
            bool ok = false;
            untilYear = QByteArray(argv[++i]).toInt(&ok);
            if (!ok)
                return usage();
        } else if (!publishedPath && argv[i][0] != '-') {
            publishedPath = argv[i];
        } else {
            return usage();
        }
    }
    if (!publishedPath)
        return usage();

    QFile published(QFile::decodeName(publishedPath));
    if (!published.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "holidaygen: cannot read %s\n", publishedPath);
        return 1;
    }
    const auto table = HolidayCsv::extendedTable(published.readAll(), untilYear);
    if (!table) {
        std::fprintf(stderr, "holidaygen: %s is not a holiday table\n", publishedPath);
        return 1;
    }
    std::fwrite(table->constData(), 1, size_t(table->size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
