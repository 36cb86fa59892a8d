// What the benchmarks share.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace BenchSupport {

// This process's resident memory, in kB, as the kernel counts it.
inline qint64 rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

} // namespace BenchSupport
