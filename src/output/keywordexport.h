#pragma once

#include "core/textencoding.h"

#include <QString>
#include <QStringList>

// The keyword file beside the program, which every export appends to.
class KeywordFile
{
public:
    KeywordFile(const QString &directory, TextEncoding encoding);

    static QString fileName(); // "关键字生成.txt"
    const QString &path() const { return m_path; }
    // Its length in bytes; 0 while there is none.
    qint64 size() const;

    // Appends every item as one line ending in CR LF, in list order, in one write; a missing
    // file is created. No header, no separator between exports, nothing trimmed or escaped.
    // On failure the file is left as it was before (cut back to its old length, or removed
    // again if this call created it) and FileError is thrown.
    void append(const QStringList &items) const;

private:
    QString m_path;
    TextEncoding m_encoding;
};
