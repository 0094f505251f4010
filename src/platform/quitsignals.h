#pragma once

#include <QObject>

class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP (a logout, `kill`, Ctrl+C in the terminal) into an orderly
/// quit of the event loop, so the open document is saved as on any other way out. The signal
/// handler only writes one byte to a pipe; the rest runs on the main thread.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    /// Installs the handlers; only one instance may exist.
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

Q_SIGNALS:
    /// A quit signal arrived; emitted on the main thread.
    void quitRequested(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};
