#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstring>

// The line rules of every text file the program reads: a line ends at CR or CR LF, the
// terminator is dropped, a lone LF stays inside the line; a final CR LF adds no line; a
// zero-length content has no lines; CR LF alone is one empty line. Lines are kept as bytes,
// so a line that is not valid text in the file's encoding survives a rewrite unchanged.
namespace TextLines {

QList<QByteArray> split(QByteArrayView content);
// Every line followed by CR LF.
QByteArray join(const QList<QByteArray> &lines);
// The number of lines split() would give, without building them.
qsizetype count(QByteArrayView content);

inline constexpr QByteArrayView lineEnd {"\r\n"};

// One line of a content, as offsets: its bytes are [begin, end), the next line starts at next
// (content.size() after the last line).
struct Line
{
    qsizetype begin;
    qsizetype end;
    qsizetype next;
};

// The line starting at `from`, which must be below content.size(). For walking a large
// content line by line without copying it.
inline Line lineAt(QByteArrayView content, qsizetype from)
{
    const char *const data = content.data();
    const qsizetype size = content.size();
    const void *cr = std::memchr(data + from, '\r', size_t(size - from));
    if (!cr)
        return {from, size, size};
    const qsizetype end = static_cast<const char *>(cr) - data;
    const qsizetype next = (end + 1 < size && data[end + 1] == '\n') ? end + 2 : end + 1;
    return {from, end, next};
}

} // namespace TextLines
