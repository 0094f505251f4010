#include "storage/recovery.h"

#include "platform/atomicfile.h"
#include "platform/clock.h"
#include "storage/notedocument.h"
#include "storage/textfile.h"

#include <QDir>
#include <QFileInfo>

namespace Recovery {

namespace {

const QString recoveredFromKey = QStringLiteral("recovered-from");

} // namespace

QString folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative values are to be ignored, as for the other XDG folders.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Quillmere/recovery");
}

QString write(const QString &notePath, const QString &body, QString *error)
{
    const QString target = folder();
    if (!QDir().mkpath(target)) {
        if (error)
            *error = QStringLiteral("フォルダを作れません: ") + target;
        return {};
    }
    const QDateTime now = Clock::current().now().toTimeZone(Clock::current().timeZone());
    const QString noteName =
        notePath.isEmpty() ? QStringLiteral("無題.md") : QFileInfo(notePath).fileName();
    const QString header = QStringLiteral("---\n") + recoveredFromKey + QStringLiteral(": ") +
                           quoteValue(notePath) + QStringLiteral("\nsaved-at: ") +
                           quoteValue(now.toString(Qt::ISODate)) + QStringLiteral("\n---\n\n");
    const QByteArray bytes = (header + body).toUtf8();
    AtomicFile::Error lastError;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd HHmmss"));
        const QString counter =
            attempt == 0 ? QStringLiteral(" ") : QStringLiteral(" (%1) ").arg(attempt + 1);
        const QString name = stamp + counter + noteName;
        const QString path = target + QLatin1Char('/') + name;
        bool taken = false;
        if (AtomicFile::writeNew(path, bytes, &lastError, &taken))
            return path;
        if (!taken)
            break;
    }
    if (error)
        *error = lastError.text;
    return {};
}

QStringList files()
{
    QStringList result;
    const QFileInfoList entries =
        QDir(folder()).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Time);
    for (const QFileInfo &entry : entries) {
        if (!AtomicFile::isTemporaryName(entry.fileName()))
            result.append(entry.absoluteFilePath());
    }
    return result;
}

QString notePathOf(const QString &recoveryPath)
{
    const TextFileRead read = TextFile::readUtf8(recoveryPath);
    if (!read.ok())
        return {};
    const NoteDocumentParts parts = parseNoteDocument(read.text);
    if (!parts.obsidian)
        return {};
    return yamlValue(parts.obsidian->lines.join(QLatin1Char('\n')), {recoveredFromKey})
        .value_or(QString());
}

} // namespace Recovery
