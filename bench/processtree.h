#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <map>

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
