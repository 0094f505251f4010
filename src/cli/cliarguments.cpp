#include "cli/cliarguments.h"

#include <array>

namespace CliParser {
namespace {

enum Option : unsigned {
    base = 1 << 0,
    json = 1 << 1,
    print = 1 << 2,
    append = 1 << 3,
    remember = 1 << 4,
    help = 1 << 5,
    version = 1 << 6,
    noIndex = 1 << 7,
    rebuild = 1 << 8,
    show = 1 << 9,
    deleted = 1 << 10,
    noLinks = 1 << 11,
};

constexpr unsigned everyCommand = base | json | help | version;

struct KnownOption
{
    QLatin1String name;
    Option option;
    bool takesValue;
};

const std::array<KnownOption, 13> knownOptions = {{
    {QLatin1String("--base"), base, true},
    {QLatin1String("--json"), json, false},
    {QLatin1String("--print"), print, false},
    {QLatin1String("--append"), append, true},
    {QLatin1String("--remember"), remember, false},
    {QLatin1String("--help"), help, false},
    {QLatin1String("-h"), help, false},
    {QLatin1String("--version"), version, false},
    {QLatin1String("--no-index"), noIndex, false},
    {QLatin1String("--rebuild"), rebuild, false},
    {QLatin1String("--show"), show, true},
    {QLatin1String("--deleted"), deleted, false},
    {QLatin1String("--no-links"), noLinks, false},
}};

struct KnownCommand
{
    QLatin1String name;
    qsizetype minOperands;
    qsizetype maxOperands;
    unsigned options;
    /// What the missing operand is called in the error.
    const char16_t *operand;
};

const std::array<KnownCommand, 13> knownCommands = {{
    {QLatin1String("search"), 1, 1, everyCommand | remember | noIndex, u"キーワード"},
    {QLatin1String("today"), 0, 0, everyCommand | print | append, u""},
    {QLatin1String("memo"), 1, 1, everyCommand | print | append, u"日付（yyyy-MM-dd）"},
    {QLatin1String("new"), 1, 1, everyCommand, u"ノートの名前"},
    {QLatin1String("open"), 0, 1, everyCommand, u""},
    {QLatin1String("holidays"), 0, 1, everyCommand, u""},
    {QLatin1String("index"), 0, 0, everyCommand | rebuild, u""},
    {QLatin1String("history"), 0, 1, everyCommand | show | deleted, u"ノート"},
    {QLatin1String("restore"), 2, 2, everyCommand, u"ノートと版の ID"},
    {QLatin1String("links"), 1, 1, everyCommand, u"ノート"},
    {QLatin1String("backlinks"), 1, 1, everyCommand, u"ノート"},
    {QLatin1String("tags"), 0, 1, everyCommand, u""},
    {QLatin1String("rename"), 2, 2, everyCommand | noLinks, u"元のノートと新しい名前"},
}};

const KnownOption *findOption(QStringView name)
{
    for (const KnownOption &known : knownOptions) {
        if (name == known.name)
            return &known;
    }
    return nullptr;
}

const KnownCommand *findCommand(QStringView name)
{
    for (const KnownCommand &known : knownCommands) {
        if (name == known.name)
            return &known;
    }
    return nullptr;
}

bool looksLikeOption(const QString &argument)
{
    return argument.size() > 1 && argument.startsWith(u'-');
}

QString usage(const QString &message)
{
    return message + QStringLiteral("（使い方: quillmere --help）");
}

struct Scan
{
    CliArguments arguments;
    unsigned given = 0;
    /// The first mistake; the scan goes on so that a --help further on is still seen.
    QString error;

    void fail(const QString &message)
    {
        if (error.isEmpty())
            error = usage(message);
    }
};

Scan scan(const QStringList &list)
{
    Scan result;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString &argument = list[i];
        if (optionsEnded || !looksLikeOption(argument)) {
            result.arguments.operands.append(argument);
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.startsWith(u"--") ? argument.indexOf(u'=') : -1;
        const QString name = equals < 0 ? argument : argument.first(equals);
        const KnownOption *known = findOption(name);
        if (!known) {
            result.fail(QStringLiteral("不明なオプションです: ") + name);
            continue;
        }
        QString value;
        if (known->takesValue && equals >= 0) {
            value = argument.sliced(equals + 1);
        } else if (known->takesValue && i + 1 < list.size()) {
            value = list[++i];
        } else if (known->takesValue) {
            result.fail(QStringLiteral("オプションに値がありません: ") + name);
            continue;
        } else if (equals >= 0) {
            result.fail(QStringLiteral("このオプションは値を取りません: ") + name);
            continue;
        }
        if (result.given & known->option)
            result.fail(QStringLiteral("オプションが重複しています: ") + name);
        result.given |= known->option;
        if (known->option == base)
            result.arguments.base = value;
        else if (known->option == append)
            result.arguments.append = value;
        else if (known->option == show)
            result.arguments.show = value;
    }
    CliArguments &arguments = result.arguments;
    arguments.json = result.given & json;
    arguments.print = result.given & print;
    arguments.remember = result.given & remember;
    arguments.noIndex = result.given & noIndex;
    arguments.rebuild = result.given & rebuild;
    arguments.deleted = result.given & deleted;
    arguments.noLinks = result.given & noLinks;
    arguments.help = result.given & help;
    arguments.version = result.given & version;
    return result;
}

} // namespace

Result parse(const QStringList &list)
{
    Scan scanned = scan(list);
    CliArguments &arguments = scanned.arguments;
    // Asking for help is answered even when the rest of the line is wrong.
    if (arguments.help) {
        CliArguments answer;
        answer.help = true;
        return {answer, {}};
    }
    if (!scanned.error.isEmpty())
        return {std::nullopt, scanned.error};
    if (arguments.version) {
        CliArguments answer;
        answer.version = true;
        return {answer, {}};
    }
    if (arguments.operands.isEmpty())
        return {std::nullopt, usage(QStringLiteral("コマンドを指定してください"))};

    arguments.command = arguments.operands.takeFirst();
    const KnownCommand *command = findCommand(arguments.command);
    if (!command)
        return {std::nullopt, usage(QStringLiteral("不明なコマンドです: ") + arguments.command)};
    for (const KnownOption &known : knownOptions) {
        if ((scanned.given & known.option) && !(command->options & known.option))
            return {std::nullopt,
                    usage(arguments.command + QStringLiteral(" では使えないオプションです: ") +
                          known.name)};
    }
    if (arguments.operands.size() < command->minOperands)
        return {std::nullopt,
                usage(QString::fromUtf16(command->operand) + QStringLiteral("を指定してください"))};
    if (arguments.operands.size() > command->maxOperands)
        return {std::nullopt, usage(QStringLiteral("余分な引数があります: ") +
                                    arguments.operands.sliced(command->maxOperands).join(u' '))};
    return {arguments, {}};
}

bool isOwnOption(QStringView argument)
{
    if (argument == u"--")
        return true;
    const qsizetype equals = argument.startsWith(u"--") ? argument.indexOf(u'=') : -1;
    return findOption(equals < 0 ? argument : argument.first(equals)) != nullptr;
}

QString helpText()
{
    return QStringLiteral(
        "使い方: quillmere [コマンド] [オプション]\n"
        "\n"
        "コマンドを付けずに起動するとウィンドウが開きます。コマンドを付けると、ウィンドウを開かずに"
        "\n"
        "端末で答えます。\n"
        "\n"
        "コマンド:\n"
        "  search キーワード     全体検索。1 行に 1 件、一致数・ベースフォルダからのパス・抜粋を\n"
        "                        タブ区切りで、検索ページと同じ順（新しい順）に表示\n"
        "  today                 今日のメモのパスを表示\n"
        "  memo yyyy-MM-dd       その日のメモのパスを表示\n"
        "  new [フォルダ/]名前   Notes "
        "フォルダ（またはその中のフォルダ）にノートを作り、パスを表示\n"
        "  open [名前の一部]     クイックオープン。名前かフォルダ名が一致するノートのパスを表示\n"
        "                        （名前なしでは最近更新した 30 件を新しい順に）\n"
        "  holidays [年]         カレンダーに表示される祝日の一覧（年なしでは今年）\n"
        "  links ノート          ノートのリンクと、それぞれのリンク先（found / missing / "
        "ambiguous）\n"
        "  backlinks ノート      そのノートにリンクしているノートと行（新しい順）\n"
        "  tags [タグ]           タグとノート数の一覧。タグを付けると、そのタグのノート\n"
        "  rename 元 新しい名前  ノートの名前を変えるか移動し、そのノートへのリンクを書き換える\n"
        "                        （--no-links: リンクはそのまま）\n"
        "  index                 検索の索引の状態（ノート数・大きさ・場所）を表示\n"
        "  history ノート        ノートの履歴。1 行に 1 版、ID・日時・出来事・バイト数・変わった\n"
        "                        文字数を新しい順に\n"
        "  history --deleted     削除したノート（履歴に残っているもの）の一覧\n"
        "  restore ノート ID     その版をノートに戻す（削除したノートは元の場所に書き戻す）\n"
        "\n"
        "オプション:\n"
        "  --base フォルダ       この実行だけ別のベースフォルダを使う（設定は変えない）\n"
        "  --json                1 行に 1 つの JSON オブジェクトで出力\n"
        "  --print               today, memo: パスに続けて本文を表示\n"
        "  --append テキスト     today, memo: 本文の末尾に 1 行足して保存\n"
        "  --remember            search: キーワードを検索履歴に加える\n"
        "  --no-index            search: 索引を使わず、すべてのノートを読んで検索する\n"
        "  --rebuild             index: 索引を作り直す\n"
        "  --show ID             history: その版の本文を表示\n"
        "  --deleted             history: 削除したノートを表示\n"
        "  --no-links            rename: リンクを書き換えない\n"
        "  -h, --help            この説明を表示\n"
        "  --version             バージョンを表示\n"
        "\n"
        "終了コード: 0 成功、1 見つからない、2 使い方の誤り、3 ファイルの読み書きの失敗\n");
}

} // namespace CliParser
