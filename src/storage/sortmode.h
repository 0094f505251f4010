#pragma once

#include <QString>

#include <optional>

/// The orders of the note list. The raw values are the names stored in the settings.
enum class NotesFileSortMode {
    modificationDate, ///< newest first
    pinsFirst,        ///< pinned notes first, in pin order
    viewCount,        ///< most opened first
};

namespace SortModeKeys {
/// The note list's sort mode, as a raw value.
inline const QString notesFileSortMode = QStringLiteral("notesFileSortMode");
/// Older bool setting, read only when no valid sort mode is stored.
inline const QString notesPinSortToTop = QStringLiteral("notesPinSortToTop");
} // namespace SortModeKeys

/// The raw value of a mode: "modificationDate", "pinsFirst" or "viewCount".
QString sortModeToString(NotesFileSortMode mode);

/// The mode with that exact raw value; nothing for any other string.
std::optional<NotesFileSortMode> sortModeFromString(const QString &stored);

/// The mode the note list starts with: the stored mode when it is valid, else modificationDate
/// when the older setting asks not to put pins on top, else pinsFirst.
NotesFileSortMode initialSortMode();
