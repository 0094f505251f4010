#include "cli/clicommands.h"

#include "calendar/calendarmonth.h"
#include "calendar/holidaystore.h"
#include "cli/cli.h"
#include "cli/cliarguments.h"
#include "cli/clioutput.h"
#include "index/indexedsearch.h"
#include "notes/notenaming.h"
#include "notes/notesoperations.h"
#include "platform/diagnostics.h"
#include "platform/folderlock.h"
#include "search/globalsearch.h"
#include "search/quickopen.h"
#include "search/searchstore.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"
#include "storage/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <array>
#include <charconv>
#include <thread>

namespace CliCommands {
namespace {

/// The path of a file below the base folder, as the search lists it ("Notes/a.md"); `root` is
/// the base folder cleaned, with a slash at the end. A view of `path`, or of `made` when the
/// path had to be worked out.
QStringView belowBase(const QString &base, const QString &root, const QString &path, QString &made)
{
    // Compared as views, which is a plain comparison of units: startsWith() is slower, and this
    // runs once for every hit of a search.
    if (path.size() >= root.size() && QStringView(path).first(root.size()) == QStringView(root))
        return QStringView(path).sliced(root.size());
    made = QDir(base).relativeFilePath(path);
    return made;
}

/// Keeps a search's hits until the process ends, which is right after they are written: the
/// system takes back their memory at once, where freeing ten thousand hits one by one, all over
/// the heap, took longer than sorting them.
void keepUntilExit(QList<SearchHit> &&hits)
{
    static auto *const kept = new QList<SearchHit>();
    *kept = std::move(hits);
}

/// `number` in decimal digits, in `digits`.
QStringView decimal(qint64 number, std::array<char16_t, 24> &digits)
{
    char ascii[24];
    const auto [end, error] = std::to_chars(ascii, ascii + sizeof ascii, number);
    Q_UNUSED(error); // 24 characters hold every qint64
    std::copy(ascii, end, digits.begin());
    return QStringView(digits.data(), end - ascii);
}

/// The body with `line` as a new last line. A body that ended with a line break still does.
QString withLineAppended(const QString &body, QString line)
{
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    if (body.isEmpty())
        return line;
    if (body.endsWith(u'\n'))
        return body + line + u'\n';
    return body + u'\n' + line;
}

/// Calls `write(hit, path)` for the hits [from, to), with each path below the base folder (see
/// belowBase).
template <typename Write>
void forEachHit(const QList<SearchHit> &hits, qsizetype from, qsizetype to, const QString &base,
                const QString &root, Write write)
{
    QString made;
    const SearchHit *found = hits.constData();
    constexpr qsizetype ahead = 8;
    for (qsizetype i = from; i < to; ++i) {
        // The hits' strings lie all over the heap, where the workers made them: asking for them
        // a few lines ahead spares waiting for memory on every line.
        if (i + ahead < to) {
            __builtin_prefetch(found[i + ahead].filePath.constData());
            __builtin_prefetch(found[i + ahead].snippet.constData());
        }
        const SearchHit &hit = found[i];
        write(hit, belowBase(base, root, hit.filePath, made));
    }
}

/// Writes the hits as text lines: match count, path, snippet. A search may list every note: a
/// line is encoded without building a string, and many lines are encoded on two threads, the
/// second half into memory while the first is written.
void writeTextLines(CliOutput &output, const QList<SearchHit> &hits, const QString &base,
                    const QString &root)
{
    constexpr qsizetype sharedFrom = 2048;
    const qsizetype half = hits.size() >= sharedFrom && QThread::idealThreadCount() > 1
                               ? hits.size() / 2
                               : hits.size();
    QByteArray secondHalf;
    {
        std::jthread helper;
        if (half < hits.size()) {
            helper = std::jthread([&] {
                std::array<char16_t, 24> digits;
                forEachHit(hits, half, hits.size(), base, root,
                           [&](const SearchHit &hit, QStringView path) {
                               CliOutput::appendTextLine(
                                   secondHalf,
                                   {decimal(hit.matchCount, digits), path, hit.snippet});
                           });
            });
        }
        std::array<char16_t, 24> digits;
        forEachHit(hits, 0, half, base, root, [&](const SearchHit &hit, QStringView path) {
            output.writeTextLine({decimal(hit.matchCount, digits), path, hit.snippet});
        });
    }
    if (!secondHalf.isEmpty())
        output.writeEncoded(secondHalf);
}

/// The most notes a search reads into the index before it answers; more than that is a build,
/// which the window does in the background: the search answers by the scan meanwhile.
constexpr qsizetype indexReadLimit = 2000;

/// The hits for `keyword` from the index, brought up to date first; nothing when the index
/// cannot serve, with the reason in `problem` (one line for standard error).
std::optional<QList<SearchHit>> searchWithIndex(const QString &base, const QString &keyword,
                                                QString &problem)
{
    IndexedSearch indexed(base);
    indexed.setReadLimit(indexReadLimit);
    // A damaged index is deleted by the failing step; the second round starts a new one.
    for (int round = 0; round < 2; ++round) {
        bool reset = false;
        if (!indexed.open(&problem, &reset))
            break;
        // A keyword in most notes: every note is read anyway, and the scan reads them fastest.
        if (indexed.looksCommon(keyword)) {
            problem.clear();
            return std::nullopt;
        }
        if (!indexed.refresh(&problem)) {
            if (indexed.wasTooMuch())
                break;
            continue;
        }
        if (std::optional<QList<SearchHit>> hits = indexed.search(keyword, &problem))
            return hits;
    }
    return std::nullopt;
}

/// How long --append waits for another writer to let go of the memo's folder.
constexpr std::chrono::seconds lockPatience(10);

std::optional<int> yearOf(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    if (!digits.match(text).hasMatch() || text.toInt() < 1)
        return std::nullopt;
    return text.toInt();
}

} // namespace

int search(const CliArguments &arguments, CliOutput &output)
{
    // Trimmed as the search page trims what was typed.
    const QString keyword = arguments.operands.first().trimmed();
    if (keyword.isEmpty())
        return output.fail(Cli::usageError, QStringLiteral("キーワードが空です"));
    // A history that could not be stored fails the command, after the hits it still found.
    QString historyError;
    if (arguments.remember) {
        Diagnostics::Capture capture;
        SearchStore::addToHistory(keyword);
        const bool stored = Settings::instance().sync();
        const QString detail = capture.finish();
        if (!stored)
            historyError =
                QStringLiteral("検索履歴を保存できませんでした") +
                (detail.isEmpty() ? QString()
                                  : QString(QStringLiteral("（") + detail + QStringLiteral("）")));
    }
    const QString base = PathManager::baseFolderPath();
    const QString root = QDir::cleanPath(base) + u'/';
    std::optional<QList<SearchHit>> indexed;
    if (!arguments.noIndex) {
        QString problem;
        indexed = searchWithIndex(base, keyword, problem);
        if (!indexed && !problem.isEmpty())
            output.fail(Cli::success, QStringLiteral("索引を使わずに検索しました（") + problem +
                                          QStringLiteral("）"));
    }
    QList<SearchHit> hits = indexed ? std::move(*indexed) : GlobalSearch::runSearch(base, keyword);
    if (output.isJson()) {
        forEachHit(hits, 0, hits.size(), base, root, [&](const SearchHit &hit, QStringView path) {
            output.write({}, {{QLatin1String("path"), path.toString()},
                              {QLatin1String("matchCount"), hit.matchCount},
                              {QLatin1String("snippet"), hit.snippet}});
        });
    } else {
        writeTextLines(output, hits, base, root);
    }
    const int status = hits.isEmpty() ? Cli::nothingFound : Cli::success;
    keepUntilExit(std::move(hits));
    if (!historyError.isEmpty())
        return output.fail(Cli::fileError, historyError);
    return status;
}

int index(const CliArguments &arguments, CliOutput &output)
{
    const QString base = PathManager::baseFolderPath();
    IndexedSearch indexed(base);
    QString problem;
    if (arguments.rebuild) {
        if (!indexed.open(&problem) || !indexed.rebuild(&problem))
            return output.fail(Cli::fileError, QStringLiteral("索引を作り直せませんでした（") +
                                                   problem + QStringLiteral("）"));
    } else if (!QFileInfo::exists(NoteIndex::defaultPath(base))) {
        output.write(QStringLiteral("ノート\t0\n大きさ\t0\n場所\t") +
                         CliOutput::shown(NoteIndex::defaultPath(base)) +
                         QStringLiteral("\n状態\tなし"),
                     {{QLatin1String("notes"), qint64(0)},
                      {QLatin1String("bytes"), qint64(0)},
                      {QLatin1String("path"), NoteIndex::defaultPath(base)},
                      {QLatin1String("state"), QStringLiteral("missing")}});
        return Cli::success;
    } else if (!indexed.open(&problem)) {
        return output.fail(Cli::fileError, QStringLiteral("索引を開けませんでした（") + problem +
                                               QStringLiteral("）"));
    }
    const std::optional<NoteIndex::Status> status = indexed.index().status();
    if (!status)
        return output.fail(Cli::fileError, QStringLiteral("索引を読めませんでした（") +
                                               indexed.index().lastError() + QStringLiteral("）"));
    const QString path = indexed.index().path();
    output.write(QStringLiteral("ノート\t%1\n大きさ\t%2\n場所\t%3\n状態\t%4")
                     .arg(status->notes)
                     .arg(status->bytes)
                     .arg(CliOutput::shown(path),
                          status->complete ? QStringLiteral("作成済み") : QStringLiteral("作成中")),
                 {{QLatin1String("notes"), status->notes},
                  {QLatin1String("bytes"), status->bytes},
                  {QLatin1String("path"), path},
                  {QLatin1String("state"),
                   status->complete ? QStringLiteral("complete") : QStringLiteral("incomplete")}});
    return Cli::success;
}

int memo(const CliArguments &arguments, CliOutput &output)
{
    const bool isToday = arguments.command == u"today";
    const std::optional<QDate> date =
        isToday ? CalendarMonth::today()
                : HolidayStore::dateFromDailyFileName(arguments.operands.first());
    if (!date)
        return output.fail(Cli::usageError,
                           QStringLiteral("日付が正しくありません（yyyy-MM-dd）: ") +
                               arguments.operands.first());
    if (arguments.append && arguments.append->isEmpty())
        return output.fail(Cli::usageError, QStringLiteral("追加するテキストが空です"));
    const QString path = PathManager::dailyMemoPath(*date);
    QString text = CliOutput::shown(path);
    QList<CliField> fields{{QLatin1String("path"), path},
                           {QLatin1String("date"), date->toString(Qt::ISODate)}};
    if (!arguments.print && !arguments.append) {
        output.write(text, fields);
        return Cli::success;
    }

    MemoManager memo;
    Diagnostics::Capture capture;
    // Another writer (the window, another --append) takes turns with this one from reading to
    // writing, so neither loses the other's lines. One that keeps the lock too long is not
    // waited for without end.
    std::optional<FolderLock> lock;
    if (arguments.append) {
        const QString folder = QFileInfo(path).absolutePath();
        QDir().mkpath(folder);
        lock.emplace(folder, lockPatience);
        if (lock->isBusy()) {
            capture.finish();
            return output.fail(Cli::fileError,
                               QStringLiteral("他のプログラムが書き込み中のため、") +
                                   QString::number(lockPatience.count()) +
                                   QStringLiteral(" 秒待っても保存できませんでした: ") + path);
        }
    }
    memo.loadMemo(*date);
    // A memo that is not readable UTF-8 is never written over, and is not shown as empty; one
    // the user may not write is shown, and not written over either.
    if (arguments.append ? !memo.isEditable() : !memo.isReadable()) {
        capture.finish();
        const QString message = !arguments.append   ? MemoManager::unreadableMessage
                                : memo.isReadable() ? MemoManager::writeProtectedSaveMessage
                                                    : MemoManager::readOnlySaveMessage;
        return output.fail(Cli::fileError, message + QStringLiteral(": ") + path +
                                               QStringLiteral(": ") + memo.loadError());
    }
    if (arguments.append) {
        const SaveOutcome outcome =
            memo.save(withLineAppended(memo.loadedBody(), *arguments.append));
        if (outcome.status != SaveOutcome::Status::Saved &&
            outcome.status != SaveOutcome::Status::Merged &&
            outcome.status != SaveOutcome::Status::Restored) {
            const QString detail = capture.finish();
            return output.fail(Cli::fileError,
                               MemoManager::saveFailedMessage +
                                   (outcome.status == SaveOutcome::Status::Failed
                                        ? QStringLiteral(": ") + memo.saveFailureReason()
                                        : QString()) +
                                   QStringLiteral(": ") + path +
                                   (detail.isEmpty() ? QString()
                                                     : QString(QStringLiteral("（") + detail +
                                                               QStringLiteral("）"))));
        }
    }
    lock.reset();
    capture.finish();
    if (arguments.print) {
        const QString &body = memo.loadedBody();
        fields.append({QLatin1String("body"), body});
        if (!body.isEmpty())
            text += u'\n' + (body.endsWith(u'\n') ? body.chopped(1) : body);
    }
    output.write(text, fields);
    return Cli::success;
}

int newNote(const CliArguments &arguments, CliOutput &output)
{
    const QString &target = arguments.operands.first();
    // The notes page's rule, on the folder part as well: a folder the page could not have made
    // is no place for a note made here either.
    if (NoteNaming::containsControlCharacter(target))
        return output.fail(Cli::usageError,
                           QStringLiteral("制御文字を含む名前は使えません: ") + target);
    const qsizetype slash = target.lastIndexOf(u'/');
    const QString name = target.sliced(slash + 1);
    const QStringList folders =
        slash < 0 ? QStringList() : target.first(slash).split(u'/', Qt::SkipEmptyParts);
    // Only folders the notes page lists: inside Notes, none of them hidden ("." and ".." are).
    const bool listedFolder = !target.startsWith(u'/') &&
                              std::none_of(folders.begin(), folders.end(),
                                           [](const QString &f) { return f.startsWith(u'.'); });
    if (!listedFolder)
        return output.fail(Cli::usageError,
                           QStringLiteral("フォルダは Notes フォルダの中から指定してください: ") +
                               target);
    if (!NoteNaming::isUsableName(name))
        return output.fail(Cli::usageError, QStringLiteral("ノートの名前に使えません: ") + name);
    if (NoteNaming::isTooLong(NoteNaming::newNoteFileName(name)))
        return output.fail(Cli::usageError, NoteNaming::tooLongMessage());

    QString folder = PathManager::notesFolderPath();
    if (!folders.isEmpty())
        folder += u'/' + folders.join(u'/');
    if (!QFileInfo(folder).isDir())
        return output.fail(Cli::usageError, QStringLiteral("フォルダが見つかりません: ") + folder);
    Diagnostics::Capture capture;
    const NotesOperations::Result result = NotesOperations::createNote(folder, name);
    capture.finish();
    // Refused with a reason: the name is taken so often that its number makes it too long.
    if (result.status == NotesOperations::Result::Status::refused && !result.error.isEmpty())
        return output.fail(Cli::usageError, result.error);
    if (!result.ok())
        return output.fail(Cli::fileError,
                           QStringLiteral("ノートを作成できませんでした: ") + result.error);
    output.write(CliOutput::shown(result.path), {{QLatin1String("path"), result.path}});
    return Cli::success;
}

int open(const CliArguments &arguments, CliOutput &output)
{
    const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(PathManager::baseFolderPath());
    const QList<qsizetype> shown = QuickOpen::filteredFiles(files, arguments.operands.value(0));
    for (const qsizetype index : shown) {
        const QuickOpen::Candidate &file = files[index];
        output.write(CliOutput::shown(file.filePath),
                     {{QLatin1String("path"), file.filePath},
                      {QLatin1String("name"), file.fileName},
                      {QLatin1String("folder"), file.folderLabel}});
    }
    return shown.isEmpty() ? Cli::nothingFound : Cli::success;
}

int holidays(const CliArguments &arguments, CliOutput &output)
{
    const std::optional<int> year = arguments.operands.isEmpty()
                                        ? CalendarMonth::today().year()
                                        : yearOf(arguments.operands.first());
    if (!year)
        return output.fail(Cli::usageError,
                           QStringLiteral("年が正しくありません: ") + arguments.operands.first());
    HolidayStore &store = HolidayStore::shared();
    bool found = false;
    for (QDate day(*year, 1, 1); day.year() == *year; day = day.addDays(1)) {
        const QString name = store.holidayName(day);
        if (name.isEmpty())
            continue;
        found = true;
        const QString date = day.toString(Qt::ISODate);
        output.write(date + u'\t' + CliOutput::shown(name),
                     {{QLatin1String("date"), date}, {QLatin1String("name"), name}});
    }
    return found ? Cli::success : Cli::nothingFound;
}

} // namespace CliCommands
