#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <map>

#include <unistd.h>

// Resident kilobytes of this process and every process below it (the engine's), from /proc.
inline qint64 treeResidentKiB()
{
    std::multimap<qint64, qint64> children;
    std::map<qint64, qint64> resident;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:"))
                children.emplace(line.mid(5).trimmed().toLongLong(), pid);
            else if (line.startsWith("VmRSS:"))
                resident[pid] = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    qint64 total = 0;
    QList<qint64> pending {QCoreApplication::applicationPid()};
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeLast();
        total += resident[pid];
        for (auto [it, end] = children.equal_range(pid); it != end; ++it)
            pending.append(it->second);
    }
    return total;
}

// CPU seconds (user and system) used so far by this process and every process below it.
inline double treeCpuSeconds()
{
    std::multimap<qint64, qint64> children;
    std::map<qint64, double> used;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // After the command name, which may hold blanks: state ppid ... utime(14) stime(15).
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13)
            continue;
        children.emplace(fields[1].toLongLong(), pid);
        used[pid] = (fields[11].toDouble() + fields[12].toDouble()) / ticks;
    }
    double total = 0;
    QList<qint64> pending {QCoreApplication::applicationPid()};
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeLast();
        total += used[pid];
        for (auto [it, end] = children.equal_range(pid); it != end; ++it)
            pending.append(it->second);
    }
    return total;
}
