#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstring>

// The line rules of every text file the program reads: a line ends at CR LF, at a lone CR or
// at a lone LF, whichever editor wrote it; the terminator is dropped; a final line end adds no
// line; a zero-length content has no lines; one line end alone is one empty line. Lines are
// kept as bytes, so a line that is not valid text in the file's encoding survives a rewrite
// unchanged. What the program writes always ends its lines with CR LF.
namespace TextLines {

QList<QByteArray> split(QByteArrayView content);

inline constexpr QByteArrayView lineEnd {"\r\n"};

// One line of a content, as offsets: its bytes are [begin, end), the next line starts at next
// (content.size() after the last line).
struct Line
{
    qsizetype begin;
    qsizetype end;
    qsizetype next;
};

// Where the first CR or LF at or after `from` is, or -1.
inline qsizetype indexOfLineEnd(QByteArrayView bytes, qsizetype from)
{
    const char *const data = bytes.data();
    const void *cr = std::memchr(data + from, '\r', size_t(bytes.size() - from));
    // The LF is looked for only up to the CR, so neither search runs past the line.
    const qsizetype limit = cr ? static_cast<const char *>(cr) - data : bytes.size();
    const void *lf = std::memchr(data + from, '\n', size_t(limit - from));
    return lf ? static_cast<const char *>(lf) - data : cr ? limit : -1;
}

// The line starting at `from`, which must be below content.size(). For walking a large
// content line by line without copying it.
inline Line lineAt(QByteArrayView content, qsizetype from)
{
    const qsizetype size = content.size();
    const qsizetype end = indexOfLineEnd(content, from);
    if (end < 0)
        return {from, size, size};
    const bool crLf = content[end] == '\r' && end + 1 < size && content[end + 1] == '\n';
    return {from, end, end + (crLf ? 2 : 1)};
}

} // namespace TextLines
