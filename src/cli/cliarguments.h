#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

/// A command line once read: the command, its operands and the options that came with it.
struct CliArguments
{
    QString command;
    QStringList operands;
    std::optional<QString> base;
    std::optional<QString> append;
    /// history --show: the version to print.
    std::optional<QString> show;
    bool json = false;
    bool print = false;
    bool remember = false;
    bool noIndex = false;
    bool rebuild = false;
    bool deleted = false;
    bool noLinks = false;
    bool help = false;
    bool version = false;
};

/// Reading the arguments. Options may stand before or after the command, as "--name value" or
/// "--name=value"; "--" ends them, so a keyword may start with "-". A value option takes the
/// next argument whatever it looks like ("--append '- [ ] task'").
namespace CliParser {

struct Result
{
    /// Set when the arguments make sense (or ask for help or the version).
    std::optional<CliArguments> arguments;
    /// Otherwise the reason, one Japanese line.
    QString error;
};

/// Reads the arguments that follow the program's name. --help and --version win over
/// everything else; otherwise the command must be known, its options must belong to it and
/// its operands must be there, not more.
Result parse(const QStringList &arguments);

/// Whether `argument` is "--" or one of our options ("--base=x" included).
bool isOwnOption(QStringView argument);

/// The text of --help.
QString helpText();

} // namespace CliParser
