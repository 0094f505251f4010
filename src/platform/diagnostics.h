#pragma once

#include <QString>
#include <QStringList>

/// The program's diagnostic lines ("保存エラー: …"): one line each, written to standard output.
/// A Capture collects them instead while it lives, for callers whose standard output carries
/// results (the command line folds them into its error message). Main thread.
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
