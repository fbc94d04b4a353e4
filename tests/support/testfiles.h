#pragma once

// What tests on real files in temporary directories need, GoogleTest included.
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Whole-file reads and writes; failures are reported as test failures.
QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// Every entry of a directory, hidden ones included, sorted.
QStringList dirEntries(const QString &directory);

// Readable failure output: bytes with CR, LF and non-ASCII escaped and long contents cut
// short, texts as UTF-8 (lists of them print element by element).
void PrintTo(const QByteArray &bytes, std::ostream *os);
void PrintTo(const QString &text, std::ostream *os);
