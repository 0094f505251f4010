#include "platform/naturalorder.h"

#include <QCollator>
#include <QLocale>

namespace NaturalOrder {
namespace {

// A collator changes its own state while comparing, so every thread keeps its own. The locale
// is fixed: the interface is Japanese, and the process's locale (C.UTF-8 on many systems) must
// not reorder the lists.
const QCollator &collator()
{
    thread_local const QCollator collator = [] {
        QCollator made(QLocale(QLocale::Japanese, QLocale::Japan));
        made.setCaseSensitivity(Qt::CaseInsensitive);
        made.setNumericMode(true);
        return made;
    }();
    return collator;
}

} // namespace

int compare(QStringView a, QStringView b)
{
    return collator().compare(a, b);
}

QCollatorSortKey sortKey(const QString &name)
{
    return collator().sortKey(name);
}

} // namespace NaturalOrder
