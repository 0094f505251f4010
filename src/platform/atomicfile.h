#pragma once

#include <QByteArray>
#include <QString>

namespace AtomicFile {

/// Writes `bytes` to `path` as one whole file: the data goes to a temporary file beside the
/// target, is flushed to disk and then renamed over it. Readers see either the old or the new
/// file, never a mix. Returns false and fills `error` (when given) on failure; the target is
/// then untouched.
bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace AtomicFile
