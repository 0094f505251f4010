#pragma once

#include <QStringView>

#include <string_view>

/// What counts as a note, the one rule of every listing: the notes page, the search, quick open
/// and their command-line forms. A note is a regular file (or a link to one) whose extension, in
/// any letter case, is "md" or "txt", and that is not inside a folder named "trash" in any letter
/// case, at any depth: such a folder is neither listed nor entered. Hidden entries (names
/// starting with ".") are each listing's own choice. These run for every entry of every folder
/// walked, so the byte forms compare in place.
namespace NoteRule {

/// Whether a file name ends in ".md" or ".txt" in any letter case. A name whose only dot is its
/// first character (".md") has no extension.
inline bool hasNoteExtension(std::string_view name)
{
    const auto endsWith = [name](std::string_view lowered) {
        const size_t size = lowered.size();
        if (name.size() <= size + 1 || name[name.size() - size - 1] != '.')
            return false;
        for (size_t i = 0; i < size; ++i) {
            if ((name[name.size() - size + i] | 0x20) != lowered[i])
                return false;
        }
        return true;
    };
    return endsWith("md") || endsWith("txt");
}

bool hasNoteExtension(QStringView name);

/// Whether a folder of this name is left out with everything inside: "trash" in any letter case.
inline bool isTrashFolderName(std::string_view name)
{
    constexpr std::string_view trash = "trash";
    if (name.size() != trash.size())
        return false;
    for (size_t i = 0; i < trash.size(); ++i) {
        if ((name[i] | 0x20) != trash[i])
            return false;
    }
    return true;
}

bool isTrashFolderName(QStringView name);

} // namespace NoteRule
