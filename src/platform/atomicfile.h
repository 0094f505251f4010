#pragma once

#include <QByteArray>
#include <QString>

namespace AtomicFile {

/// Writes `bytes` to `path` as one whole file: the data goes to a temporary file beside the
/// target, is flushed to disk and then renamed over it. Readers see either the old or the new
/// file, never a mix. Returns false and fills `error` (when given) on failure; the target is
/// then untouched.
bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

/// Like write(), for a file that must not exist yet: the whole file appears at `path` only if
/// nothing is there, checked and done in one step, so a file another program created in the
/// meantime is never replaced. `exists` (when given) tells that case apart from other errors.
bool writeNew(const QString &path, const QByteArray &bytes, QString *error = nullptr,
              bool *exists = nullptr);

} // namespace AtomicFile
