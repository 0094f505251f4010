#include "storage/sortmode.h"

#include "platform/userdefaults.h"

QString sortModeRawValue(NotesFileSortMode mode)
{
    switch (mode) {
    case NotesFileSortMode::modificationDate:
        return QStringLiteral("modificationDate");
    case NotesFileSortMode::pinsFirst:
        return QStringLiteral("pinsFirst");
    case NotesFileSortMode::viewCount:
        return QStringLiteral("viewCount");
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<NotesFileSortMode> sortModeFromRawValue(const QString &rawValue)
{
    for (const auto mode : {NotesFileSortMode::modificationDate, NotesFileSortMode::pinsFirst,
                            NotesFileSortMode::viewCount}) {
        if (sortModeRawValue(mode) == rawValue)
            return mode;
    }
    return std::nullopt;
}

NotesFileSortMode initialSortMode()
{
    const UserDefaults &defaults = UserDefaults::standard();
    if (const auto stored = defaults.string(SortModeKeys::notesFileSortMode)) {
        if (const auto mode = sortModeFromRawValue(*stored))
            return *mode;
    }
    // A stored value of the wrong type counts as absent, like a missing one.
    return defaults.boolOr(SortModeKeys::notesPinSortToTop, true)
               ? NotesFileSortMode::pinsFirst
               : NotesFileSortMode::modificationDate;
}
