#include "platform/diagnostics.h"

#include <cstdio>

namespace Diagnostics {
namespace {

// Per thread: a line logged by a worker (a background save) while the main thread collects
// for a command's error message belongs to neither, and goes to standard error.
thread_local Capture *currentCapture = nullptr;

} // namespace

void log(const QString &line)
{
    if (currentCapture) {
        currentCapture->m_lines.append(line);
        return;
    }
    // One call per line, so that lines from two threads do not interleave.
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

Capture::Capture() : m_previous(currentCapture)
{
    currentCapture = this;
}

Capture::~Capture()
{
    finish();
}

QString Capture::finish()
{
    if (m_active) {
        currentCapture = m_previous;
        m_active = false;
    }
    return m_lines.join(u' ').simplified();
}

} // namespace Diagnostics
