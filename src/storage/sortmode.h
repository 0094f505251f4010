#pragma once

#include <QString>

#include <optional>

/// The orders of the note list. The raw values are the names stored in the settings.
enum class NotesFileSortMode {
    modificationDate, ///< newest first
    pinsFirst,        ///< pinned notes first, in pin order
    viewCount,        ///< most opened first
};

/// The raw value of a mode: "modificationDate", "pinsFirst" or "viewCount".
QString sortModeToString(NotesFileSortMode mode);

/// The mode with that exact raw value; nothing for any other string.
std::optional<NotesFileSortMode> sortModeFromString(const QString &stored);
