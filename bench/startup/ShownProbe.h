#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace tavora {

// Prints the peak resident memory of this process (kB) and quits the event
// loop; called once the window has been painted for the first time.
inline void reportAndQuit() {
    QFile status("/proc/self/status");
    long peak = -1;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                peak = line.mid(6).trimmed().split(' ').first().toLong();
    std::printf("peak_rss_kb %ld\n", peak);
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

} // namespace tavora
