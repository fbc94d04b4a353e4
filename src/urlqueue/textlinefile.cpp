#include "urlqueue/textlinefile.h"
#include "urlqueue/textlinescan_p.h"

namespace TextLines {

QList<QByteArray> split(QByteArrayView content)
{
    QList<QByteArray> lines;
    for (qsizetype pos = 0; pos < content.size();) {
        const Line line = lineAt(content, pos);
        lines.append(content.sliced(line.begin, line.end - line.begin).toByteArray());
        pos = line.next;
    }
    return lines;
}

// Both scans go in fixed-size blocks without early exits inside, which the compiler turns
// into vector code: a list of a million lines is scanned in a few milliseconds.
constexpr qsizetype scanBlock = 64;

qsizetype countLineEnds(QByteArrayView bytes, bool afterCr)
{
    if (bytes.isEmpty())
        return 0;
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    qsizetype ends = *p == '\r' || (*p == '\n' && !afterCr);
    // From here on p[-1] is there to look at.
    for (++p; end - p >= scanBlock; p += scanBlock) {
        unsigned inBlock = 0;
        for (qsizetype i = 0; i < scanBlock; ++i)
            inBlock += (p[i] == '\r') | ((p[i] == '\n') & (p[i - 1] != '\r'));
        ends += inBlock;
    }
    for (; p != end; ++p)
        ends += (p[0] == '\r') | ((p[0] == '\n') & (p[-1] != '\r'));
    return ends;
}

bool onlyCrLf(QByteArrayView bytes, bool afterCr)
{
    if (bytes.isEmpty())
        return true;
    const char *p = bytes.data();
    if (*p == '\n' && !afterCr)
        return false;
    const char *const last = p + bytes.size() - 1; // each step reads p[i + 1]
    for (; last - p >= scanBlock; p += scanBlock) {
        unsigned char lone = 0;
        for (qsizetype i = 0; i < scanBlock; ++i)
            lone |= (p[i] == '\r') ^ (p[i + 1] == '\n');
        if (lone)
            return false;
    }
    unsigned char lone = 0;
    for (; p < last; ++p)
        lone |= (p[0] == '\r') ^ (p[1] == '\n');
    return !lone;
}

} // namespace TextLines
