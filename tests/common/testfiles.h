#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

/// Files for tests to start from and to read back.
namespace TestFiles {

/// Writes `bytes` to `path` (folders created), dated `modified` when that is valid. False
/// unless the file holds the bytes and, when a date is given, carries exactly that date.
inline bool write(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    // Buffered bytes written out later would stamp the file with the time of that write.
    file.close();
    if (file.error() != QFileDevice::NoError)
        return false;
    if (!modified.isValid())
        return true;
    if (!file.open(QIODevice::ReadOnly) ||
        !file.setFileTime(modified, QFileDevice::FileModificationTime))
        return false;
    file.close();
    return QFileInfo(path).lastModified() == modified;
}

/// As above, dated `seconds` after the epoch.
inline bool write(const QString &path, const QByteArray &bytes, qint64 seconds)
{
    return write(path, bytes, QDateTime::fromSecsSinceEpoch(seconds));
}

/// The file's bytes; empty when it cannot be read.
inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Writes `bytes` to a new file at the exact path `native` (which may hold bytes that are not
/// UTF-8, and so cannot be spelled as a QString for Qt's own file classes).
inline bool writeExactly(const QByteArray &native, const QByteArray &bytes)
{
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

/// The names in the folder `native`, as the bytes they are (QDir leaves out names that are not
/// UTF-8), sorted.
inline QList<QByteArray> entriesExactly(const QByteArray &native)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(native.constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.append(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// A named pipe at a path where a file is expected, which a test can count the reads of without
/// ever hanging: a helper thread opens it for writing and closes it again, so that a reader that
/// opens it (as it must not) gets an empty file instead of waiting for a writer forever. The
/// helper reaches the pipe through a second name of its own, so the pipe may be renamed.
class Fifo
{
public:
    /// Makes the pipe at `path`; `spare` is a free path on the same file system.
    Fifo(const QString &path, const QString &spare) : m_spare(QFile::encodeName(spare))
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        m_made = ::mkfifo(m_spare.constData(), 0600) == 0 &&
                 ::link(m_spare.constData(), QFile::encodeName(path).constData()) == 0;
        if (m_made)
            m_helper = std::thread([this] { serve(); });
    }
    ~Fifo()
    {
        if (!m_made)
            return;
        m_stop = true;
        // A reader held open lets the helper's last open return at once.
        const int reader = ::open(m_spare.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_helper.join();
        if (reader >= 0)
            ::close(reader);
        ::unlink(m_spare.constData());
    }
    Fifo(const Fifo &) = delete;
    Fifo &operator=(const Fifo &) = delete;

    bool made() const { return m_made; }
    /// How many times somebody opened the pipe for reading.
    int timesOpened() const { return m_opened; }

private:
    void serve()
    {
        while (!m_stop) {
            const int writer = ::open(m_spare.constData(), O_WRONLY | O_CLOEXEC);
            if (writer < 0)
                continue;
            ::close(writer);
            if (!m_stop)
                ++m_opened;
        }
    }

    QByteArray m_spare;
    bool m_made = false;
    std::atomic<bool> m_stop = false;
    std::atomic<int> m_opened = 0;
    std::thread m_helper;
};

} // namespace TestFiles
