#include "cli/clilinks.h"

#include "cli/cli.h"
#include "cli/cliarguments.h"
#include "cli/clioutput.h"
#include "links/linkgraph.h"
#include "links/linktables.h"
#include "links/linkupdater.h"
#include "links/notelinks.h"
#include "storage/notestore.h"
#include "storage/pathmanager.h"
#include "storage/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace CliLinks {
namespace {

/// How long a rewrite waits for another writer's lock on a linking note's folder.
constexpr std::chrono::seconds lockPatience(10);

/// `operand` as a path below the base folder, or empty when it lies outside.
QString belowBase(const QString &base, const QString &operand)
{
    const QString absolute = QDir::isAbsolutePath(operand) ? QDir::cleanPath(operand)
                                                           : QDir::cleanPath(base + u'/' + operand);
    const QString root = QDir::cleanPath(base) + u'/';
    return absolute.startsWith(root) ? absolute.sliced(root.size()) : QString();
}

/// Opens the graph and finds NOTE in it; fails the command otherwise.
std::optional<QString> openNote(LinkGraph &graph, const QString &operand, CliOutput &output,
                                int *status)
{
    QString problem;
    if (!graph.refresh(&problem)) {
        *status = output.fail(Cli::fileError, QStringLiteral("索引を使えませんでした（") + problem +
                                                  QStringLiteral("）"));
        return std::nullopt;
    }
    const QString path = belowBase(graph.baseFolder(), operand);
    if (path.isEmpty() || !graph.resolver().notes().contains(path)) {
        *status =
            output.fail(Cli::usageError, QStringLiteral("ノートが見つかりません: ") + operand);
        return std::nullopt;
    }
    return path;
}

QString statusName(LinkResolver::Resolution::Status status)
{
    switch (status) {
    case LinkResolver::Resolution::Status::found:
        return QStringLiteral("found");
    case LinkResolver::Resolution::Status::ambiguous:
        return QStringLiteral("ambiguous");
    case LinkResolver::Resolution::Status::missing:
        break;
    }
    return QStringLiteral("missing");
}

} // namespace

int links(const CliArguments &arguments, CliOutput &output)
{
    LinkGraph graph(PathManager::baseFolderPath());
    int status = Cli::success;
    const std::optional<QString> note =
        openNote(graph, arguments.operands.first(), output, &status);
    if (!note)
        return status;
    const TextFileRead read = TextFile::readUtf8(graph.baseFolder() + u'/' + *note);
    if (!read.ok())
        return output.fail(Cli::fileError, QStringLiteral("ノートを読めません: ") + *note);
    const QList<NoteLinks::Link> found = NoteLinks::links(read.text);
    for (const NoteLinks::Link &link : found) {
        const LinkResolver::Resolution resolution = graph.resolver().resolve(link, *note);
        const QString written = read.text.sliced(link.start, link.length);
        const QString paths = resolution.paths.join(u'\t');
        output.write(CliOutput::shown(written) + u'\t' + statusName(resolution.status) +
                         (paths.isEmpty() ? QString() : u'\t' + CliOutput::shown(paths, true)),
                     {{QLatin1String("link"), written},
                      {QLatin1String("target"), link.target},
                      {QLatin1String("heading"), link.heading},
                      {QLatin1String("status"), statusName(resolution.status)},
                      {QLatin1String("paths"), resolution.paths.join(u'\n')}});
    }
    return found.isEmpty() ? Cli::nothingFound : Cli::success;
}

int backlinks(const CliArguments &arguments, CliOutput &output)
{
    LinkGraph graph(PathManager::baseFolderPath());
    int status = Cli::success;
    const std::optional<QString> note =
        openNote(graph, arguments.operands.first(), output, &status);
    if (!note)
        return status;
    QString problem;
    const auto rows = graph.backlinks(*note, &problem);
    if (!rows)
        return output.fail(Cli::fileError, problem);
    for (const LinkGraph::Mention &row : *rows) {
        output.write(CliOutput::shown(row.path) + u'\t' + QString::number(row.line + 1) + u'\t' +
                         CliOutput::shown(row.text, true),
                     {{QLatin1String("path"), row.path},
                      {QLatin1String("line"), qint64(row.line + 1)},
                      {QLatin1String("text"), row.text}});
    }
    return rows->isEmpty() ? Cli::nothingFound : Cli::success;
}

int tags(const CliArguments &arguments, CliOutput &output)
{
    LinkGraph graph(PathManager::baseFolderPath());
    QString problem;
    if (!graph.refresh(&problem))
        return output.fail(Cli::fileError, QStringLiteral("索引を使えませんでした（") + problem +
                                               QStringLiteral("）"));
    sqlite3 *db = graph.search().index().handle();
    if (arguments.operands.isEmpty()) {
        const auto counts = LinkTables::tagCounts(db);
        if (!counts)
            return output.fail(Cli::fileError, QStringLiteral("索引を読めません"));
        for (const LinkTables::TagCount &tag : *counts)
            output.write(
                CliOutput::shown(tag.spelling) + u'\t' + QString::number(tag.notes),
                {{QLatin1String("tag"), tag.spelling}, {QLatin1String("count"), tag.notes}});
        return counts->isEmpty() ? Cli::nothingFound : Cli::success;
    }
    QString tag = arguments.operands.first();
    if (tag.startsWith(u'#') || tag.startsWith(u'＃'))
        tag.remove(0, 1);
    const auto notes = LinkTables::notesWithTags(db, {NoteLinks::fold(tag)});
    if (!notes)
        return output.fail(Cli::fileError, QStringLiteral("索引を読めません"));
    for (const QByteArray &native : *notes) {
        const QString path = QFile::decodeName(native);
        output.write(CliOutput::shown(path), {{QLatin1String("path"), path}});
    }
    return notes->isEmpty() ? Cli::nothingFound : Cli::success;
}

int rename(const CliArguments &arguments, CliOutput &output)
{
    LinkGraph graph(PathManager::baseFolderPath());
    int status = Cli::success;
    const std::optional<QString> from =
        openNote(graph, arguments.operands.first(), output, &status);
    if (!from)
        return status;
    const QString &base = graph.baseFolder();
    QString target = arguments.operands.at(1);
    if (!target.contains(u'/'))
        target = QFileInfo(*from).path() == u"." ? target : QFileInfo(*from).path() + u'/' + target;
    QString to = belowBase(base, target);
    if (to.isEmpty() || to.endsWith(u'/'))
        return output.fail(Cli::usageError, QStringLiteral("移動先がベースフォルダの外です: ") +
                                                arguments.operands.at(1));
    if (QFileInfo(to).suffix().isEmpty())
        to += u'.' + QFileInfo(*from).suffix();
    if (NoteStore::isNameTooLong(QFileInfo(to).fileName()))
        return output.fail(Cli::usageError, NoteStore::nameTooLongMessage());
    QStringList linkers;
    const LinkUpdater updater(base, graph.resolver().notes());
    if (!arguments.noLinks) {
        QString problem;
        const auto candidates = graph.linkerCandidates(*from, &problem);
        if (!candidates)
            return output.fail(Cli::fileError, problem);
        if (!candidates->isEmpty()) {
            for (const LinkUpdater::Linker &linker : updater.linkersOf(*from, *candidates))
                linkers.append(linker.path);
        }
        // Its own relative paths to other notes follow it into another folder.
        if (!linkers.contains(*from) && QFileInfo(*from).path() != QFileInfo(to).path())
            linkers.append(*from);
    }
    if (!QFileInfo(QFileInfo(base + u'/' + to).path()).isDir())
        return output.fail(Cli::usageError,
                           QStringLiteral("フォルダが見つかりません: ") + QFileInfo(to).path());
    AtomicFile::Error error;
    if (!NoteStore::instance().moveNote(base + u'/' + *from, base + u'/' + to, &error))
        return output.fail(Cli::fileError, QStringLiteral("名前を変更できませんでした: ") + *from +
                                               QStringLiteral("（") + error.reason() +
                                               QStringLiteral("）"));
    const LinkUpdater::Outcome outcome = updater.rewrite(*from, to, linkers, lockPatience);
    output.write(
        CliOutput::shown(to),
        {{QLatin1String("path"), to}, {QLatin1String("updated"), qint64(outcome.updated.size())}});
    for (const QString &failed : outcome.failed)
        output.fail(Cli::fileError, QStringLiteral("リンクを更新できませんでした: ") + failed);
    return outcome.failed.isEmpty() ? Cli::success : Cli::fileError;
}

} // namespace CliLinks
