#include "cli/cli.h"

#include "cli/cliarguments.h"
#include "cli/clicommands.h"
#include "cli/clihistory.h"
#include "cli/clilinks.h"
#include "cli/clioutput.h"
#include "history/historyrecorder.h"
#include "storage/pathmanager.h"

#include <QFileInfo>

namespace Cli {
namespace {

/// A folder nobody keeps notes in, which a slip of the keyboard (`--base /`, a variable left
/// empty before a slash) names: the root of the file system, and the kernel's own folders,
/// however spelled (links and ".." resolved).
bool isSystemFolder(const QString &folder)
{
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real == u"/")
        return true;
    for (const QLatin1String system :
         {QLatin1String("/proc"), QLatin1String("/sys"), QLatin1String("/dev")}) {
        if (real == system || real.startsWith(system + u'/'))
            return true;
    }
    return false;
}

int runCommand(const CliArguments &arguments, CliOutput &output)
{
    if (arguments.base) {
        // Checked, so that a mistyped folder is not silently created by the first write.
        const QString folder = PathManager::standardizedPath(*arguments.base);
        if (!QFileInfo(folder).isDir())
            return output.fail(usageError,
                               QStringLiteral("フォルダが見つかりません: ") + *arguments.base);
        if (isSystemFolder(folder))
            return output.fail(usageError,
                               QStringLiteral("このフォルダはベースフォルダにできません: ") +
                                   *arguments.base);
        PathManager::setBaseFolderForProcess(folder);
    }
    // Every change a command makes to the notes is kept in their history; a history that cannot
    // be written is said, and the command's own work stands.
    HistoryRecorder history(HistoryRecorder::Mode::commandLine);
    if (arguments.append)
        history.setFirstEvent(HistoryEvent::append);
    QObject::connect(&history, &HistoryRecorder::failed,
                     [&output](const QString &message) { output.fail(success, message); });
    const QString &command = arguments.command;
    if (command == u"history")
        return CliHistory::history(arguments, output, history);
    if (command == u"restore")
        return CliHistory::restore(arguments, output, history);
    if (command == u"search")
        return CliCommands::search(arguments, output);
    if (command == u"today" || command == u"memo")
        return CliCommands::memo(arguments, output);
    if (command == u"new")
        return CliCommands::newNote(arguments, output);
    if (command == u"open")
        return CliCommands::open(arguments, output);
    if (command == u"index")
        return CliCommands::index(arguments, output);
    if (command == u"links")
        return CliLinks::links(arguments, output);
    if (command == u"backlinks")
        return CliLinks::backlinks(arguments, output);
    if (command == u"tags")
        return CliLinks::tags(arguments, output);
    if (command == u"rename")
        return CliLinks::rename(arguments, output);
    return CliCommands::holidays(arguments, output);
}

} // namespace

bool isCommandLine(int argc, const char *const *argv)
{
    if (argc < 2)
        return false;
    for (int i = 1; i < argc; ++i) {
        const QLatin1String argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "--version")
            return true;
    }
    const QString first = QString::fromLocal8Bit(argv[1]);
    return !first.startsWith(u'-') || first == u"-" || CliParser::isOwnOption(first);
}

int run(const QStringList &arguments)
{
    const CliParser::Result parsed = CliParser::parse(arguments.mid(1));
    CliOutput output(parsed.arguments && parsed.arguments->json);
    if (!parsed.arguments)
        return output.fail(usageError, parsed.error);
    int status = success;
    if (parsed.arguments->help)
        output.writeRaw(CliParser::helpText());
    else if (parsed.arguments->version)
        output.writeRaw(QStringLiteral("quillmere " QUILLMERE_VERSION "\n"));
    else
        status = runCommand(*parsed.arguments, output);
    // A result that did not reach its reader (a full disk, a closed pipe) is not a success.
    if (!output.finish() && status < usageError)
        return output.fail(fileError, QStringLiteral("結果を出力できませんでした"));
    return status;
}

} // namespace Cli
