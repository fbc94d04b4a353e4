#include "urlqueue/textlinefile.h"
#include "urlqueue/textlinescan_p.h"

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
    if (content.isEmpty())
        return 0;
    const char last = content.back();
    const bool terminated = last == '\r' || (last == '\n' && content.endsWith(lineEnd));
    return countCarriageReturns(content) + (terminated ? 0 : 1);
}

// Both scans go in fixed-size blocks without early exits inside, which the compiler turns
// into vector code: a list of a million lines is scanned in a few milliseconds.
constexpr qsizetype scanBlock = 64;

qsizetype countCarriageReturns(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    qsizetype crs = 0;
    for (; end - p >= scanBlock; p += scanBlock) {
        unsigned inBlock = 0;
        for (qsizetype i = 0; i < scanBlock; ++i)
            inBlock += p[i] == '\r';
        crs += inBlock;
    }
    for (; p != end; ++p)
        crs += *p == '\r';
    return crs;
}

bool crsFollowedByLf(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return true;
    const char *p = bytes.data();
    const char *const last = p + bytes.size() - 1; // each step reads p[i + 1]
    for (; last - p >= scanBlock; p += scanBlock) {
        unsigned char lone = 0;
        for (qsizetype i = 0; i < scanBlock; ++i)
            lone |= (p[i] == '\r') & (p[i + 1] != '\n');
        if (lone)
            return false;
    }
    unsigned char lone = 0;
    for (; p < last; ++p)
        lone |= (p[0] == '\r') & (p[1] != '\n');
    return !lone;
}

} // namespace TextLines
