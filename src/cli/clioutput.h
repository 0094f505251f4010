#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdio>
#include <initializer_list>
#include <variant>

/// One field of a JSON result, in the order it is written.
struct CliField
{
    QLatin1String key;
    std::variant<QString, qint64> value;
};

/// Standard output and standard error of a command. Results are either lines of text or, with
/// --json, one JSON object per line; errors are one line "quillmere: …" on standard error.
class CliOutput
{
public:
    explicit CliOutput(bool json = false) : m_json(json) {}

    bool isJson() const { return m_json; }

    /// Writes one result: `text` plus a line feed as text, `fields` as one JSON object.
    void write(const QString &text, const QList<CliField> &fields);
    /// Writes one result as text: `fields` joined by tabs, with control characters shown as
    /// shown() shows them (tabs too, except in the last field), and a line feed. For results
    /// that come by the thousand: the line is encoded straight into the output buffer.
    void writeTextLine(std::initializer_list<QStringView> fields);
    /// Appends what writeTextLine() writes to `out`, so that lines can be encoded on another
    /// thread and written later with writeEncoded().
    static void appendTextLine(QByteArray &out, std::initializer_list<QStringView> fields);
    /// Writes lines appendTextLine() encoded, after those written before.
    void writeEncoded(const QByteArray &lines);
    /// Writes `text` as it is (help, version).
    void writeRaw(const QString &text);
    /// Writes the error line and returns `exitCode`.
    int fail(int exitCode, const QString &message);
    /// Flushes standard output; false when something could not be written (a full disk, a
    /// closed pipe).
    bool finish();

    /// `text` with control characters shown as U+FFFD, so a file name or a note line cannot
    /// break the line structure or send escape sequences to the terminal. Tabs are replaced too
    /// unless `keepTabs` (the last field of a line may hold them).
    static QString shown(const QString &text, bool keepTabs = false);
    /// One JSON object, without a line feed.
    static QByteArray jsonObject(const QList<CliField> &fields);

private:
    void writePending();

    bool m_json;
    /// Text lines not yet handed to standard output.
    QByteArray m_pending;
};
