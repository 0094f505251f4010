#include "app/singleinstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace {

// A first instance that is busy starting still answers within this; one that does not is
// hung, and a window of our own serves the user better than waiting.
constexpr int answerTimeoutMsec = 5000;

} // namespace

SingleInstance::SingleInstance(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
}

SingleInstance::~SingleInstance()
{
    if (!m_registered)
        return;
    m_bus.unregisterObject(objectPath);
    m_bus.unregisterService(serviceName);
}

SingleInstance::Role SingleInstance::claim()
{
    QDBusConnectionInterface *daemon = m_bus.isConnected() ? m_bus.interface() : nullptr;
    if (!daemon)
        return Role::alone;
    // The object first: a later start may call the moment the name is ours.
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots))
        return Role::alone;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        daemon->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Role::first;
    }
    m_bus.unregisterObject(objectPath);
    if (!reply.isValid())
        return Role::alone;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        serviceName, objectPath, QStringLiteral("io.github.quillmere.Quillmere"),
        QStringLiteral("activate"));
    // BlockWithGui: the holder may be in this very process (tests), whose loop must run.
    const QDBusMessage answer = m_bus.call(call, QDBus::BlockWithGui, answerTimeoutMsec);
    return answer.type() == QDBusMessage::ReplyMessage ? Role::handedOver : Role::alone;
}

void SingleInstance::activate()
{
    Q_EMIT activationRequested();
}
