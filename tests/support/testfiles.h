#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Whole-file helpers for tests on real files; failures are reported as test failures.
QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// Every entry of a directory, hidden ones included, sorted.
QStringList dirEntries(const QString &directory);
// The i-th line of a generated list: an address of about 40 bytes, unique per i.
QByteArray addressLine(qsizetype i);
// Lines 0..count-1, each ending in CR LF.
QByteArray addressLines(qsizetype count);

// Readable failure output: bytes with CR, LF and non-ASCII escaped, long contents cut short.
void PrintTo(const QByteArray &bytes, std::ostream *os);
void PrintTo(const QString &text, std::ostream *os);
void PrintTo(const QStringList &list, std::ostream *os);
