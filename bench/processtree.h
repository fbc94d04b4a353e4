#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <map>

#include <unistd.h>

// The sum of one figure of each process, read from /proc by `figure` (pid -> value), over this
// process and every process below it (the engine's).
template<typename Figure>
inline auto sumOverProcessTree(Figure figure)
{
    std::multimap<qint64, qint64> children;
    std::map<qint64, decltype(figure(0))> values;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!isPid || !stat.open(QIODevice::ReadOnly))
            continue;
        // After the command name, which may hold blanks: state, ppid, ...
        const QByteArray line = stat.readAll();
        children.emplace(line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toLongLong(), pid);
        values[pid] = figure(pid);
    }
    decltype(figure(0)) total {};
    QList<qint64> pending {QCoreApplication::applicationPid()};
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeLast();
        total += values[pid];
        for (auto [it, end] = children.equal_range(pid); it != end; ++it)
            pending.append(it->second);
    }
    return total;
}

// Resident kilobytes of this process and every process below it.
inline qint64 treeResidentKiB()
{
    return sumOverProcessTree([](qint64 pid) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return qint64(0);
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
        return qint64(0);
    });
}

// CPU seconds (user and system) used so far by this process and every process below it.
inline double treeCpuSeconds()
{
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return sumOverProcessTree([ticks](qint64 pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return 0.0;
        // After the command name: state(3) ppid(4) ... utime(14) stime(15).
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return fields.size() < 13 ? 0.0 : (fields[11].toDouble() + fields[12].toDouble()) / ticks;
    });
}
