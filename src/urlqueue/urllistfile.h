#pragma once

#include "core/textencoding.h"

#include <QString>

// The URL list file beside the program: the user's input and the crawl's queue at once.
// Every operation opens the file, works and closes it again; nothing is cached. Failures
// throw FileError naming the operation, the path and the system's reason. Rewrites go
// through a temporary file in the same directory that is renamed over the old one, so the
// user's list is never left half written.
class UrlListFile
{
public:
    UrlListFile(const QString &directory, TextEncoding encoding);

    static QString fileName(); // "抓关键字网址.txt"
    const QString &path() const { return m_path; }

    // The list is read and written in pieces of this size, so an operation takes about that
    // much memory however long the list is.
    static constexpr qsizetype chunkSize = 64 * 1024;

    // True when a regular file of that name exists (a directory of that name does not count).
    bool exists() const;

    void EnsureUrlList() const;
    qint64 CountUrlList() const;
    QString RotateUrlList() const;
    void CompactUrlList() const;

private:
    QString m_path;
    TextEncoding m_encoding;
};
