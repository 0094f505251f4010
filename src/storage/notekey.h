#pragma once

#include <QString>
#include <QStringView>

#include <optional>

/// The key under which pins and view counts remember a file: its path relative to the base
/// folder, such as "Notes/Projects/plan.md". Both paths are standardized first, so "/./" and
/// ".." spellings give the same key. The base folder itself has the empty key; a file outside
/// the base folder has none and is ignored by everything that keys on it.
std::optional<QString> relativeNotePath(const QString &filePath);

/// The standardized path of the current base folder: what note keys are relative to, and what
/// the caches of pins and view counts compare to notice a switch of the base folder.
QString standardizedBaseFolderPath();

/// Whether `path` is standardized as it stands: absolute, without anything QDir::cleanPath()
/// would change ("//", "/." or a slash at the end). Such a path's key is the rest of it after
/// the base folder, so a caller holding thousands of them can compare whole paths with the
/// base folder's path plus each key instead of making a key for every path.
bool isStandardizedPath(QStringView path);
