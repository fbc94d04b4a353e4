#include "textlinefile.h"

namespace TextLines {

QList<QByteArray> split(QByteArrayView content)
{
    QList<QByteArray> lines;
    lines.reserve(count(content));
    for (qsizetype pos = 0; pos < content.size();) {
        const Line line = lineAt(content, pos);
        lines.append(content.sliced(line.begin, line.end - line.begin).toByteArray());
        pos = line.next;
    }
    return lines;
}

QByteArray join(const QList<QByteArray> &lines)
{
    qsizetype size = 0;
    for (const QByteArray &line : lines)
        size += line.size() + lineEnd.size();
    QByteArray content;
    content.reserve(size);
    for (const QByteArray &line : lines) {
        content.append(line);
        content.append(lineEnd);
    }
    return content;
}

qsizetype count(QByteArrayView content)
{
    // Every CR ends exactly one line (an LF after it belongs to it), so the lines are the CRs
    // plus an unterminated last line, if any.
    const char *p = content.data();
    const char *const end = p + content.size();
    qsizetype crs = 0;
    // Fixed-size blocks let the compiler turn the comparison into vector code.
    constexpr qsizetype block = 64;
    for (; end - p >= block; p += block) {
        unsigned inBlock = 0;
        for (qsizetype i = 0; i < block; ++i)
            inBlock += p[i] == '\r';
        crs += inBlock;
    }
    for (; p != end; ++p)
        crs += *p == '\r';

    if (content.isEmpty())
        return 0;
    const char last = content.back();
    const bool terminated = last == '\r' || (last == '\n' && content.endsWith(lineEnd));
    return crs + (terminated ? 0 : 1);
}

} // namespace TextLines
