#include "platform/settingsstore.h"

#include "platform/atomicfile.h"
#include "platform/diagnostics.h"
#include "platform/regularfile.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QThread>

#include <cmath>
#include <memory>

// File layout: one JSON object, key → encoded value. Strings, bools and integers are plain JSON
// values and arrays are JSON arrays; the types JSON cannot tell apart are wrapped in an object
// with one tag member: {"double": 1.5}, {"data": "<base64>"}, {"dictionary": {…}}.

namespace {

const QString tagDouble = QStringLiteral("double");
const QString tagData = QStringLiteral("data");
const QString tagDictionary = QStringLiteral("dictionary");

std::unique_ptr<SettingsStore> &processInstance()
{
    static std::unique_ptr<SettingsStore> instance;
    return instance;
}

bool isIntegerType(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

std::optional<QJsonValue> encode(const QVariant &value)
{
    const int type = value.typeId();
    if (type == QMetaType::QJsonValue)
        return value.toJsonValue();
    if (type == QMetaType::QString)
        return QJsonValue(value.toString());
    if (type == QMetaType::Bool)
        return QJsonValue(value.toBool());
    if (isIntegerType(type))
        return QJsonValue(value.toLongLong());
    if (type == QMetaType::Double || type == QMetaType::Float)
        return QJsonObject{{tagDouble, value.toDouble()}};
    if (type == QMetaType::QByteArray)
        return QJsonObject{{tagData, QString::fromLatin1(value.toByteArray().toBase64())}};
    if (type == QMetaType::QStringList)
        return QJsonArray::fromStringList(value.toStringList());
    if (type == QMetaType::QVariantList) {
        QJsonArray array;
        for (const QVariant &element : value.toList()) {
            const auto encoded = encode(element);
            if (!encoded)
                return std::nullopt;
            array.append(*encoded);
        }
        return array;
    }
    if (type == QMetaType::QVariantMap) {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            const auto encoded = encode(it.value());
            if (!encoded)
                return std::nullopt;
            object.insert(it.key(), *encoded);
        }
        return QJsonObject{{tagDictionary, object}};
    }
    return std::nullopt;
}

// A value this version cannot read (another version's tag, a hand edit) is kept as its JSON,
// which no typed getter accepts, so the next write puts it back as it was instead of dropping
// it, or the whole array or dictionary around it.
QVariant decode(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (std::trunc(number) == number && std::abs(number) < 9.0e15)
            return QVariant::fromValue<qint64>(qint64(number));
        return number;
    }
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue &element : value.toArray())
            list.append(decode(element));
        return list;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        const QJsonValue tagged = object.size() == 1 ? *object.begin() : QJsonValue();
        const QString tag = object.size() == 1 ? object.begin().key() : QString();
        if (tag == tagDouble && tagged.isDouble())
            return tagged.toDouble();
        if (tag == tagData && tagged.isString())
            return QByteArray::fromBase64(tagged.toString().toLatin1());
        if (tag == tagDictionary && tagged.isObject()) {
            QVariantMap map;
            const QJsonObject members = tagged.toObject();
            for (auto it = members.begin(); it != members.end(); ++it)
                map.insert(it.key(), decode(it.value()));
            return map;
        }
        return QVariant::fromValue(value);
    }
    default:
        return QVariant::fromValue(value);
    }
}

} // namespace

SettingsStore &SettingsStore::instance()
{
    auto &instance = processInstance();
    if (!instance)
        instance = std::make_unique<SettingsStore>(instanceFilePath());
    return *instance;
}

QString SettingsStore::instanceFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quillmere/settings.json");
}

void SettingsStore::resetInstance()
{
    processInstance().reset();
}

SettingsStore::SettingsStore(QString filePath, QObject *parent)
    : QObject(parent), m_filePath(std::move(filePath))
{
    load();
    m_persistTimer = new QTimer(this);
    m_persistTimer->setSingleShot(true);
    m_persistTimer->setInterval(200);
    connect(m_persistTimer, &QTimer::timeout, this, &SettingsStore::sync);
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SettingsStore::sync);
}

SettingsStore::~SettingsStore()
{
    sync();
}

void SettingsStore::sync()
{
    m_persistTimer->stop();
    if (!m_dirty)
        return;
    m_dirty = !persist();
}

void SettingsStore::schedulePersist()
{
    m_dirty = true;
    // Without an event loop on this thread there is nobody to fire the timer: write at once.
    if (!QCoreApplication::instance() || thread() != QThread::currentThread() ||
        !QAbstractEventDispatcher::instance()) {
        sync();
        return;
    }
    m_persistTimer->start();
}

std::optional<QString> SettingsStore::string(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

std::optional<bool> SettingsStore::boolean(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::Bool)
        return std::nullopt;
    return v.toBool();
}

std::optional<qint64> SettingsStore::integer(const QString &key) const
{
    const QVariant v = value(key);
    if (!isIntegerType(v.typeId()))
        return std::nullopt;
    return v.toLongLong();
}

std::optional<double> SettingsStore::number(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Double || isIntegerType(v.typeId()))
        return v.toDouble();
    return std::nullopt;
}

std::optional<QByteArray> SettingsStore::data(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return v.toByteArray();
}

std::optional<QStringList> SettingsStore::stringArray(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    if (v.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    QStringList strings;
    for (const QVariant &element : v.toList()) {
        if (element.typeId() != QMetaType::QString)
            return std::nullopt;
        strings.append(element.toString());
    }
    return strings;
}

std::optional<QVariantList> SettingsStore::array(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QStringList || v.typeId() == QMetaType::QVariantList)
        return v.toList();
    return std::nullopt;
}

std::optional<QVariantMap> SettingsStore::dictionary(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return v.toMap();
}

QString SettingsStore::stringOr(const QString &key, const QString &fallback) const
{
    return string(key).value_or(fallback);
}

bool SettingsStore::boolOr(const QString &key, bool fallback) const
{
    return boolean(key).value_or(fallback);
}

qint64 SettingsStore::integerOr(const QString &key, qint64 fallback) const
{
    return integer(key).value_or(fallback);
}

bool SettingsStore::setValue(const QString &key, const QVariant &value)
{
    const auto encoded = encode(value);
    if (!encoded) {
        qWarning("SettingsStore: unsupported value type for key %s", qPrintable(key));
        return false;
    }
    // Store what a reload would give back, so a value reads the same before and after restart.
    const QVariant normalized = decode(*encoded);
    if (m_values.contains(key) && m_values.value(key) == normalized)
        return true;
    m_values.insert(key, normalized);
    schedulePersist();
    Q_EMIT valueChanged(key);
    return true;
}

void SettingsStore::remove(const QString &key)
{
    if (m_values.remove(key) == 0)
        return;
    schedulePersist();
    Q_EMIT valueChanged(key);
}

void SettingsStore::load()
{
    // Only a regular file: opening a pipe put in its place would wait for a writer forever.
    const RegularFileRead file = RegularFile::read(m_filePath);
    if (file.status == RegularFileRead::Status::Missing)
        return;
    if (!file.ok()) {
        Diagnostics::log(QStringLiteral("設定の読み込みに失敗: ") + file.error);
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        // Keep the damaged file for the user instead of overwriting it with the next change.
        const QString keep = RegularFile::setAside(m_filePath);
        Diagnostics::log(QStringLiteral("設定ファイルを読めないため退避しました: ") + keep);
        return;
    }
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        m_values.insert(it.key(), decode(it.value()));
}

bool SettingsStore::persist()
{
    QJsonObject object;
    for (auto it = m_values.begin(); it != m_values.end(); ++it) {
        if (const auto encoded = encode(it.value()))
            object.insert(it.key(), *encoded);
    }
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    AtomicFile::Error error;
    if (!AtomicFile::write(m_filePath, QJsonDocument(object).toJson(QJsonDocument::Indented),
                           &error)) {
        Diagnostics::log(QStringLiteral("設定の保存に失敗: ") + error.text);
        return false;
    }
    return true;
}
