#include "cli/clihistory.h"

#include "cli/cli.h"
#include "cli/cliarguments.h"
#include "cli/clioutput.h"
#include "history/historyrecorder.h"
#include "history/historyrestore.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/folderlock.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"
#include "storage/pathmanager.h"

#include <QDir>
#include <QFileInfo>

namespace CliHistory {
namespace {

/// How long restore waits for another writer to let go of the note's folder.
constexpr std::chrono::seconds lockPatience(10);

/// The note `given` names: an absolute path, a path below the base folder, or one from the
/// current folder that leads into the base folder.
QString notePath(const QString &given)
{
    if (QDir::isAbsolutePath(given))
        return QDir::cleanPath(given);
    const QString base = QDir::cleanPath(PathManager::baseFolderPath());
    const QString inBase = QDir::cleanPath(base + u'/' + given);
    if (QFileInfo::exists(inBase))
        return inBase;
    const QString fromHere = QDir::cleanPath(QDir::current().absoluteFilePath(given));
    if (fromHere.startsWith(base + u'/') && QFileInfo::exists(fromHere))
        return fromHere;
    return inBase;
}

QString localTime(const QDateTime &time)
{
    return time.toTimeZone(Clock::current().timeZone())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString isoTime(const QDateTime &time)
{
    return time.toTimeZone(Clock::current().timeZone()).toString(Qt::ISODate);
}

int deleted(CliOutput &output, HistoryRecorder &recorder)
{
    int status = Cli::success;
    recorder.deletedNotes([&](std::optional<QList<DeletedNote>> notes, const QString &error) {
        if (!notes) {
            status = output.fail(Cli::fileError, error);
            return;
        }
        for (const DeletedNote &note : *notes) {
            output.write(localTime(note.time) + u'\t' + CliOutput::shown(note.path) + u'\t' +
                             CliOutput::shown(note.firstLine),
                         {{QLatin1String("path"), note.path},
                          {QLatin1String("time"), isoTime(note.time)},
                          {QLatin1String("firstLine"), note.firstLine},
                          {QLatin1String("id"), note.versionId}});
        }
        if (notes->isEmpty())
            status = Cli::nothingFound;
    });
    return status;
}

int show(const QString &path, const QString &id, CliOutput &output, HistoryRecorder &recorder)
{
    int status = Cli::success;
    recorder.text(path, id, [&](std::optional<QByteArray> text, const QString &error) {
        if (!text) {
            status = output.fail(Cli::nothingFound, error);
            return;
        }
        if (output.isJson())
            output.write(
                {}, {{QLatin1String("id"), id}, {QLatin1String("text"), QString::fromUtf8(*text)}});
        else
            output.writeEncoded(*text); // exactly the bytes kept
    });
    return status;
}

} // namespace

int history(const CliArguments &arguments, CliOutput &output, HistoryRecorder &recorder)
{
    if (arguments.deleted) {
        if (!arguments.operands.isEmpty() || arguments.show)
            return output.fail(Cli::usageError,
                               QStringLiteral("--deleted にはノートも --show も指定できません"));
        return deleted(output, recorder);
    }
    if (arguments.operands.isEmpty())
        return output.fail(Cli::usageError, QStringLiteral("ノートを指定してください"));
    const QString path = notePath(arguments.operands.first());
    if (arguments.show)
        return show(path, *arguments.show, output, recorder);
    int status = Cli::success;
    recorder.versions(path, [&](std::optional<QList<HistoryVersion>> versions,
                                const QString &error) {
        if (!versions) {
            status = output.fail(Cli::fileError, error);
            return;
        }
        for (const HistoryVersion &version : *versions) {
            const QString change = u'+' + QString::number(version.added) + QStringLiteral(" -") +
                                   QString::number(version.removed);
            output.write(version.id.left(12) + u'\t' + localTime(version.time) + u'\t' +
                             HistoryEvents::label(version.event) + u'\t' +
                             QString::number(version.size) + u'\t' + change + u'\t' +
                             CliOutput::shown(version.path),
                         {{QLatin1String("id"), version.id},
                          {QLatin1String("time"), isoTime(version.time)},
                          {QLatin1String("event"), HistoryEvents::code(version.event)},
                          {QLatin1String("size"), version.size},
                          {QLatin1String("added"), version.added},
                          {QLatin1String("removed"), version.removed},
                          {QLatin1String("path"), version.path}});
        }
        if (versions->isEmpty())
            status = output.fail(Cli::nothingFound,
                                 QStringLiteral("履歴がありません: ") + arguments.operands.first());
    });
    return status;
}

int restore(const CliArguments &arguments, CliOutput &output, HistoryRecorder &recorder)
{
    const QString path = notePath(arguments.operands.first());
    const QString &id = arguments.operands.at(1);
    std::optional<QByteArray> text;
    QString error;
    recorder.text(path, id, [&](std::optional<QByteArray> found, const QString &why) {
        text = std::move(found);
        error = why;
    });
    if (!text)
        return output.fail(Cli::nothingFound, error);

    Diagnostics::Capture capture;
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(folder);
    const FolderLock lock(folder, lockPatience);
    if (lock.isBusy()) {
        capture.finish();
        return output.fail(Cli::fileError, QStringLiteral("他のプログラムが書き込み中のため、") +
                                               QString::number(lockPatience.count()) +
                                               QStringLiteral(" 秒待っても戻せませんでした: ") +
                                               path);
    }
    if (!QFileInfo::exists(path)) {
        const QString written = HistoryRestore::writeNew(path, *text, &error);
        capture.finish();
        if (written.isEmpty())
            return output.fail(Cli::fileError,
                               QStringLiteral("書き戻せませんでした: ") + path + u": " + error);
        output.write(CliOutput::shown(written), {{QLatin1String("path"), written}});
        return Cli::success;
    }
    MemoManager memo;
    memo.loadFile(path);
    if (!memo.isEditable()) {
        capture.finish();
        return output.fail(Cli::fileError, MemoManager::readOnlySaveMessage + QStringLiteral(": ") +
                                               path + QStringLiteral(": ") + memo.loadError());
    }
    recorder.restoring(path);
    const SaveOutcome outcome =
        memo.save(parseNoteDocument(QString::fromUtf8(*text)).body, SaveAnnouncement::quiet);
    const QString detail = capture.finish();
    if (!outcome.succeeded() || outcome.status == SaveOutcome::Status::Conflicted ||
        outcome.status == SaveOutcome::Status::Unmerged)
        return output.fail(
            Cli::fileError,
            MemoManager::saveFailedMessage + QStringLiteral(": ") + path +
                (outcome.conflictPath.isEmpty() ? QString()
                                                : QStringLiteral(" → ") + outcome.conflictPath) +
                (detail.isEmpty() ? QString()
                                  : QStringLiteral("（") + detail + QStringLiteral("）")));
    output.write(CliOutput::shown(path), {{QLatin1String("path"), path}});
    return Cli::success;
}

} // namespace CliHistory
