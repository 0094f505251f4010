#include "platform/diagnostics.h"

#include <cstdio>

namespace Diagnostics {
namespace {

Capture *currentCapture = nullptr;

} // namespace

void log(const QString &line)
{
    if (currentCapture) {
        currentCapture->m_lines.append(line);
        return;
    }
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
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
