#pragma once

// Small timing helpers shared by the benchmark programs (each bench/*.cpp is its own program).

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

namespace fiscora::bench {

// The runnable program folder of the build: the first argument, or ../bin beside the bench.
inline QString programFolder() {
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        return arguments.at(1);
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")).absolutePath();
}

// The middle value (the upper one of an even count); 0 when there are none.
inline double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Median wall time of runs calls, in milliseconds.
inline double medianMs(int runs, const std::function<void()>& run) {
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        times.append(clock.nsecsElapsed() / 1e6);
    }
    return median(times);
}

// Processor time (user + system) used so far by this process's finished and waited-for
// children, theirs included, in milliseconds.
inline double childrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// A program folder of the bench's own: a copy of the build's empty database and settings that name
// the bench's server.
inline bool makeProgramFolder(const QString& folder, const QString& bin, const QString& host, int port) {
    const QString database = folder + QStringLiteral("/fiscora.mdb");
    if (!QFile::copy(bin + QStringLiteral("/fiscora.mdb"), database) ||
        !QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner))
        return false;
    QFile ini(folder + QStringLiteral("/fiscora.ini"));
    return ini.open(QIODevice::WriteOnly) &&
           ini.write(QStringLiteral("[servidor]\r\nhost=%1\r\nport=%2\r\n").arg(host).arg(port).toLatin1()) >
               0;
}

// Resident memory now, in MiB.
inline double residentMiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0)
                             : 0;
}

// Peak resident memory in MiB of this process (self) or of its finished children.
inline double peakMiB(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

} // namespace fiscora::bench
