#include "storage/sortmode.h"

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
