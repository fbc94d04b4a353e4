#include "app/directorylock.h"

#include <QDir>

using namespace Qt::StringLiterals;

DirectoryLock::DirectoryLock(const QString &directory)
    : m_directory(QDir(directory).absolutePath())
    , m_lock(std::make_unique<QLockFile>(QDir(m_directory).filePath(fileName())))
{
    // However long a crawl runs, its lock is never taken for stale; only one whose process
    // is gone is.
    m_lock->setStaleLockTime(0);
}

DirectoryLock::~DirectoryLock() = default;

QString DirectoryLock::fileName()
{
    return u".lexhaul.lock"_s;
}

bool DirectoryLock::tryLock()
{
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        m_lock->getLockInfo(&pid, &host, &application);
        m_refusal = u"另一个 Lexhaul（进程 %1）正在使用目录 %2，本次不运行。"_s.arg(pid).arg(
            QDir::toNativeSeparators(m_directory));
    } else {
        m_refusal = u"无法在目录 %1 中建立锁文件 %2。"_s.arg(QDir::toNativeSeparators(m_directory),
                                                             fileName());
    }
    return false;
}
