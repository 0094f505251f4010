#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

/// One window per session. The first start claims a well-known name on the session bus and
/// answers `activate` there; a later start finds the name taken, asks the first to show its
/// window and ends. Without a bus (or when the first does not answer) each start runs alone.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.quillmere.Quillmere")

public:
    static inline const QString serviceName = QStringLiteral("io.github.quillmere.Quillmere");
    static inline const QString objectPath = QStringLiteral("/io/github/quillmere/Quillmere");

    enum class Role {
        /// This process holds the name: it shows the window and is asked to show it again.
        first,
        /// Another process holds the name and was asked to show its window: this one ends.
        handedOver,
        /// No bus, or no answer from the holder: this process runs on its own.
        alone,
    };

    /// `bus` is the session bus, or any other bus in tests.
    explicit SingleInstance(const QDBusConnection &bus, QObject *parent = nullptr);
    ~SingleInstance() override;

    /// Claims the name, or hands over to its holder. Call once, before the window is made.
    Role claim();

public Q_SLOTS:
    /// Called over the bus by a later start.
    Q_SCRIPTABLE void activate();

Q_SIGNALS:
    /// A later start asked for the window.
    void activationRequested();

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};
