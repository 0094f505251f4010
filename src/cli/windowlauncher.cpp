#include "cli/windowlauncher.h"

#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace WindowLauncher {

QByteArray windowProgramPath()
{
    // /proc/self/exe has links resolved, so a `quillmere` linked into PATH still finds the
    // window beside the real file.
    QByteArray self(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), size_t(self.size()));
    if (length <= 0 || length >= self.size())
        return {};
    self.truncate(qsizetype(length));
    const qsizetype slash = self.lastIndexOf('/');
    return self.first(slash + 1) + programName;
}

int replaceWithWindow(int argc, char *argv[])
{
    const QByteArray program = windowProgramPath();
    if (!program.isEmpty()) {
        // Our own name is replaced by the window's; everything after it is passed on as it is.
        std::vector<char *> arguments{const_cast<char *>(program.constData())};
        if (argc > 1)
            arguments.insert(arguments.end(), argv + 1, argv + argc);
        arguments.push_back(nullptr);
        ::execv(program.constData(), arguments.data());
    }
    const int error = errno;
    const QString message =
        QStringLiteral("quillmere: ウィンドウを開けません（") +
        QString::fromUtf8(program.isEmpty() ? QByteArray(programName) : program) +
        QStringLiteral(": ") + QString::fromUtf8(std::strerror(error)) + QStringLiteral("）\n");
    const QByteArray bytes = message.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    return 127;
}

} // namespace WindowLauncher
