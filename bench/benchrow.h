#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

/// One row of the table scripts/bench prints: a figure beside its reference measured in the same
/// run. `goal` is "ratio:0.8" (at most 0.8 times the reference) or "ms:300" (at most 300 ms).
inline void benchRow(const QString &work, double oursMs, const QString &reference,
                     double referenceMs, const char *goal)
{
    std::printf("ROW\t%s\t%.1f\t%s\t%.1f\t%s\n", work.toUtf8().constData(), oursMs,
                reference.toUtf8().constData(), referenceMs, goal);
    std::fflush(stdout);
}
