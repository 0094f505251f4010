#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

#include <optional>

/// The application's settings: a typed key/value store kept in one JSON file and written
/// atomically after every change. Values keep their types across a restart: strings, bools,
/// integers, doubles, raw data, arrays and dictionaries of those. So a number stored among
/// strings is still a number when read back, and a typed getter reports a wrong type as absent.
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    /// The process's settings, in "Quillmere/settings.json" under the XDG config folder.
    static SettingsStore &instance();
    /// Forgets the process's settings object, so the next instance() reads the config folder
    /// anew (tests point it at a temporary folder).
    static void resetInstance();
    /// Where instance() keeps its file (safe on any thread; reads nothing).
    static QString instanceFilePath();

    explicit SettingsStore(QString filePath, QObject *parent = nullptr);
    ~SettingsStore() override;

    const QString &filePath() const { return m_filePath; }

    bool contains(const QString &key) const { return m_values.contains(key); }
    /// The stored value; an invalid QVariant when the key is absent.
    QVariant value(const QString &key) const { return m_values.value(key); }

    std::optional<QString> string(const QString &key) const;
    std::optional<bool> boolean(const QString &key) const;
    std::optional<qint64> integer(const QString &key) const;
    /// A double, or an integer widened to one.
    std::optional<double> number(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;
    /// The array, only when every element is a string.
    std::optional<QStringList> stringArray(const QString &key) const;
    std::optional<QVariantList> array(const QString &key) const;
    std::optional<QVariantMap> dictionary(const QString &key) const;

    QString stringOr(const QString &key, const QString &fallback) const;
    bool boolOr(const QString &key, bool fallback) const;
    qint64 integerOr(const QString &key, qint64 fallback) const;

    /// Stores a value of a supported type (QString, bool, any integer, double, QByteArray,
    /// QStringList, QVariantList, QVariantMap, nested). Any other type is refused with a
    /// warning and nothing is stored.
    bool setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    /// Writes pending changes to disk now. Changes are otherwise written shortly after they
    /// are made (a burst of changes, such as typing into a bound field, writes once) and when
    /// this object goes away. A write that fails keeps the changes pending, so the next sync
    /// tries again; the file on disk is then left as it was.
    void sync();

    /// Whether changes are waiting to be written (or their last write failed).
    bool hasUnsavedChanges() const { return m_dirty; }

Q_SIGNALS:
    /// Emitted after the value under `key` was set to something else or removed.
    void valueChanged(const QString &key);

private:
    void load();
    bool persist();
    void schedulePersist();

    QString m_filePath;
    QVariantMap m_values;
    bool m_dirty = false;
    QTimer *m_persistTimer = nullptr;
};
