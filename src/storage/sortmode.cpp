#include "storage/sortmode.h"

#include "platform/settingsstore.h"

QString sortModeToString(NotesFileSortMode mode)
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

std::optional<NotesFileSortMode> sortModeFromString(const QString &stored)
{
    for (const auto mode : {NotesFileSortMode::modificationDate, NotesFileSortMode::pinsFirst,
                            NotesFileSortMode::viewCount}) {
        if (sortModeToString(mode) == stored)
            return mode;
    }
    return std::nullopt;
}

NotesFileSortMode initialSortMode()
{
    const SettingsStore &defaults = SettingsStore::instance();
    if (const auto stored = defaults.string(SortModeKeys::notesFileSortMode)) {
        if (const auto mode = sortModeFromString(*stored))
            return *mode;
    }
    // A stored value of the wrong type counts as absent, like a missing one.
    return defaults.boolOr(SortModeKeys::notesPinSortToTop, true)
               ? NotesFileSortMode::pinsFirst
               : NotesFileSortMode::modificationDate;
}
