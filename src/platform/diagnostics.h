#pragma once

#include <QString>
#include <QStringList>

/// The program's diagnostic lines ("保存エラー: …"): one line each, written to standard error,
/// never to standard output, which carries the command line's results (its --json lines).
/// A Capture collects the lines logged on its own thread instead while it lives, for callers
/// that fold them into a message of their own (the command line's error line). Any thread.
namespace Diagnostics {

void log(const QString &line);

class Capture
{
public:
    Capture();
    ~Capture();
    Capture(const Capture &) = delete;
    Capture &operator=(const Capture &) = delete;

    /// Stops collecting and returns the lines collected, joined into one line.
    QString finish();

private:
    friend void log(const QString &line);
    QStringList m_lines;
    Capture *m_previous = nullptr;
    bool m_active = true;
};

} // namespace Diagnostics
