#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One crawl per directory. Two crawls rotating one URL list each take an address and write
// the list back, so the other's rotation is lost. Held from before start-up until the
// program ends; a lock left by a run that was killed does not count.
class DirectoryLock
{
public:
    explicit DirectoryLock(const QString &directory);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock &) = delete;
    DirectoryLock &operator=(const DirectoryLock &) = delete;

    static QString fileName(); // ".lexhaul.lock"

    // False when another run holds the directory (or the lock cannot be made);
    // refusal() then says which directory and which process, in the user's language.
    bool tryLock();
    QString refusal() const { return m_refusal; }

private:
    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QString m_refusal;
};
