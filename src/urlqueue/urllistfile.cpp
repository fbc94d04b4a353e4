#include "urlqueue/urllistfile.h"

#include "core/fileerror.h"
#include "urlqueue/textlinefile.h"
#include "urlqueue/textlinescan_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

// The operations stream the list through buffers of chunkSize bytes instead of holding it
// whole: a list of a million lines then costs no 40 MB allocations, whose page faults take
// longer than the work itself. Lines are copied as the bytes they were.

namespace {

using TextLines::lineEnd;
constexpr QByteArrayView cr = lineEnd.first(1);
constexpr QByteArrayView lf = lineEnd.sliced(1);

QString readFailed()
{
    return QStringLiteral("读取网址列表失败");
}

QString rewriteFailed()
{
    return QStringLiteral("改写网址列表失败");
}

QString createFailed()
{
    return QStringLiteral("创建网址列表失败");
}

class ListReader
{
public:
    explicit ListReader(const QString &path)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            fail();
    }

    // Appends the next piece of the file to `buffer`; false at the end.
    bool appendTo(QByteArray &buffer)
    {
        const qsizetype old = buffer.size();
        buffer.resize(old + UrlListFile::chunkSize);
        const qint64 got = m_file.read(buffer.data() + old, UrlListFile::chunkSize);
        if (got < 0)
            fail();
        buffer.resize(old + got);
        return got > 0;
    }

    // Replaces `buffer` by the next piece of the file; false at the end.
    bool readInto(QByteArray &buffer)
    {
        buffer.resize(0); // keeps the allocation
        return appendTo(buffer);
    }

    void close() { m_file.close(); }

private:
    [[noreturn]] void fail()
    {
        throw FileError(readFailed(), QDir::toNativeSeparators(m_file.fileName()),
                        m_file.errorString());
    }

    QFile m_file;
};

// The new list, gathered in a buffer so that a million short lines are not a million write
// calls. A crash, a kill or a full disk before commit() leaves the old list whole; on a failure
// the temporary file goes with the QSaveFile (its destructor removes an uncommitted one).
class ListWriter
{
public:
    explicit ListWriter(const QString &path)
        : m_file(path)
        , m_buffer(UrlListFile::chunkSize, Qt::Uninitialized)
    {
        // Writing in place when no temporary file can be made would give up the whole point.
        m_file.setDirectWriteFallback(false);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            fail();
    }

    void put(QByteArrayView bytes)
    {
        if (bytes.size() > m_buffer.size() - m_used) {
            flush();
            if (bytes.size() >= m_buffer.size()) {
                writeOut(bytes);
                return;
            }
        }
        std::memcpy(m_buffer.data() + m_used, bytes.data(), size_t(bytes.size()));
        m_used += bytes.size();
    }

    void commit()
    {
        flush();
        if (!m_file.commit())
            fail();
    }

private:
    void flush()
    {
        writeOut(QByteArrayView(m_buffer).first(m_used));
        m_used = 0;
    }

    void writeOut(QByteArrayView bytes)
    {
        if (!bytes.isEmpty() && m_file.write(bytes.data(), bytes.size()) != bytes.size())
            fail();
    }

    [[noreturn]] void fail()
    {
        const QString reason = m_file.errorString();
        m_file.cancelWriting();
        throw FileError(rewriteFailed(), QDir::toNativeSeparators(m_file.fileName()), reason);
    }

    QSaveFile m_file;
    QByteArray m_buffer;
    qsizetype m_used = 0;
};

// Passes lines on with every one ending in CR LF: a lone CR gets its LF, a lone LF its CR, an
// unterminated last line gets both. Fed in pieces, so a CR at the end of one may find its LF in
// the next.
class CrLfLines
{
public:
    explicit CrLfLines(ListWriter &out)
        : m_out(out)
    {
    }

    void put(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return;
        const bool afterCr = m_crPending;
        if (afterCr && bytes.front() != '\n')
            m_out.put(lf);

        if (TextLines::onlyCrLf(bytes, afterCr)) {
            m_out.put(bytes);
        } else {
            qsizetype run = 0;
            for (qsizetype pos = 0;;) {
                const qsizetype at = TextLines::indexOfLineEnd(bytes, pos);
                if (at < 0)
                    break;
                pos = at + 1;
                if (bytes[at] == '\r') {
                    if (at + 1 < bytes.size() && bytes[at + 1] != '\n') {
                        m_out.put(bytes.sliced(run, at + 1 - run));
                        m_out.put(lf);
                        run = at + 1;
                    }
                    continue;
                }
                // An LF without its CR gets one; the CR of a first LF may have ended the last
                // piece.
                if (at == 0 ? !afterCr : bytes[at - 1] != '\r') {
                    m_out.put(bytes.sliced(run, at - run));
                    m_out.put(cr);
                    run = at;
                }
            }
            m_out.put(bytes.sliced(run));
        }

        m_crPending = bytes.back() == '\r';
        m_lineOpen = !m_crPending && bytes.back() != '\n';
    }

    void finish()
    {
        if (m_crPending)
            m_out.put(lf);
        else if (m_lineOpen)
            m_out.put(lineEnd);
    }

private:
    ListWriter &m_out;
    bool m_crPending = false;
    bool m_lineOpen = false;
};

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Where the first address of a list is, read from its beginning as far as needed.
struct FirstAddress
{
    qsizetype blankLines = 0; // before it
    bool found = false;
    qsizetype begin = 0; // its bytes in the head, [begin, end)
    qsizetype end = 0;
    qsizetype next = 0; // the rest of the list starts here in the head
};

FirstAddress readToFirstAddress(ListReader &reader, QByteArray &head)
{
    FirstAddress first;
    qsizetype pos = 0;
    bool inAddress = false;
    bool atEnd = !reader.appendTo(head);
    for (;;) {
        const qsizetype size = head.size();
        const char *const data = head.constData();
        if (!inAddress) {
            // Empty lines are bare line ends. A CR last in the head may have its LF to come.
            while (pos < size && isLineEnd(data[pos]) && (pos + 1 < size || atEnd)) {
                ++first.blankLines;
                pos += (data[pos] == '\r' && pos + 1 < size && data[pos + 1] == '\n') ? 2 : 1;
            }
            if (pos < size && !isLineEnd(data[pos])) {
                inAddress = true;
                first.begin = pos;
            } else if (pos == size && atEnd) {
                return first;
            }
        }
        if (inAddress) {
            const qsizetype end = TextLines::indexOfLineEnd(head, pos);
            if (end >= 0) {
                first.end = end;
                if (first.end + 1 < size || atEnd) {
                    first.found = true;
                    first.next = TextLines::lineAt(head, first.begin).next;
                    return first;
                }
                pos = first.end;
            } else if (atEnd) {
                first.found = true;
                first.end = first.next = size;
                return first;
            } else {
                pos = size;
            }
        }
        atEnd = !reader.appendTo(head);
    }
}

// Compaction as a state machine over pieces of the list: empty lines are dropped and the kept
// lines end in CR LF, except the last line of the list, whose ending is only written once
// another line turns out to follow it. Unchanged stretches go out as single runs.
class Compactor
{
public:
    explicit Compactor(ListWriter &out)
        : m_out(out)
    {
    }

    void put(QByteArrayView piece)
    {
        m_piece = piece;
        m_runBegin = m_runEnd = 0;
        const char *const data = piece.data();
        const qsizetype size = piece.size();
        qsizetype pos = 0;
        qsizetype pendingEndAt = -1; // where that line's ending is, when it is in this piece
        if (m_skipLf) {
            m_skipLf = false;
            if (size > 0 && data[0] == '\n')
                pos = 1;
        }
        while (pos < size) {
            if (m_atLineStart) {
                if (m_endPending) {
                    putLineEnd(pendingEndAt);
                    m_endPending = false;
                }
                m_atLineStart = false;
            }
            const qsizetype found = TextLines::indexOfLineEnd(piece, pos);
            const qsizetype end = found < 0 ? size : found;
            if (end > pos) {
                putSource(pos, end);
                m_lineHasBytes = true;
            }
            if (found < 0)
                break;
            if (m_lineHasBytes) {
                m_endPending = true;
                pendingEndAt = end;
            }
            m_lineHasBytes = false;
            m_atLineStart = true;
            pos = end + 1;
            if (data[end] == '\n')
                continue;
            if (pos == size)
                m_skipLf = true;
            else if (data[pos] == '\n')
                ++pos;
        }
        flushRun();
    }

private:
    void putSource(qsizetype begin, qsizetype end)
    {
        if (m_runEnd == begin && m_runEnd > m_runBegin) {
            m_runEnd = end;
            return;
        }
        flushRun();
        m_runBegin = begin;
        m_runEnd = end;
    }

    // CR LF after the run, taken from the piece when it stands there already.
    void putLineEnd(qsizetype at)
    {
        if (at >= 0 && m_runEnd > m_runBegin && m_runEnd == at
            && m_piece.sliced(at).startsWith(lineEnd)) {
            m_runEnd += lineEnd.size();
            return;
        }
        flushRun();
        m_out.put(lineEnd);
    }

    void flushRun()
    {
        if (m_runEnd > m_runBegin)
            m_out.put(m_piece.sliced(m_runBegin, m_runEnd - m_runBegin));
        m_runBegin = m_runEnd = 0;
    }

    ListWriter &m_out;
    QByteArrayView m_piece;
    qsizetype m_runBegin = 0;
    qsizetype m_runEnd = 0;
    bool m_skipLf = false; // the last piece ended in CR
    bool m_atLineStart = true;
    bool m_lineHasBytes = false;
    bool m_endPending = false; // the last non-empty line ended; CR LF if another line follows
};

} // namespace

UrlListFile::UrlListFile(const QString &directory, TextEncoding encoding)
    : m_path(QDir(directory).filePath(fileName()))
    , m_encoding(std::move(encoding))
{
}

QString UrlListFile::fileName()
{
    return QStringLiteral("抓关键字网址.txt");
}

bool UrlListFile::exists() const
{
    return QFileInfo(m_path).isFile();
}

void UrlListFile::EnsureUrlList() const
{
    if (exists())
        return;
    QFile file(m_path);
    // NewOnly: should another program create the list meanwhile, its content stays.
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || exists())
        return;
    // O_EXCL reports a directory in the way as "exists", which would puzzle the user.
    const QString reason = QFileInfo(m_path).isDir() ? qt_error_string(EISDIR) : file.errorString();
    throw FileError(createFailed(), QDir::toNativeSeparators(m_path), reason);
}

qint64 UrlListFile::CountUrlList() const
{
    ListReader reader(m_path);
    QByteArray piece;
    qint64 ends = 0;
    char last = '\n'; // as if after a line end: a list of no bytes has no line
    while (reader.readInto(piece)) {
        ends += TextLines::countLineEnds(piece, last == '\r');
        last = piece.back();
    }
    // Bytes after the last line end are one line more.
    const bool open = !isLineEnd(last);
    return ends + (open ? 1 : 0);
}

QString UrlListFile::RotateUrlList() const
{
    ListReader reader(m_path);
    QByteArray head;
    const FirstAddress first = readToFirstAddress(reader, head);

    // The empty lines stay, and the address taken (if any) leaves an empty line in its place.
    ListWriter writer(m_path);
    for (qsizetype i = 0; i <= first.blankLines; ++i)
        writer.put(lineEnd);
    if (!first.found) {
        reader.close();
        writer.commit();
        return QString();
    }

    // The address goes to the end, so the next rotation takes the one after it.
    CrLfLines rest(writer);
    rest.put(QByteArrayView(head).sliced(first.next));
    QByteArray piece;
    while (reader.readInto(piece))
        rest.put(piece);
    rest.finish();
    const QByteArrayView address
        = QByteArrayView(head).sliced(first.begin, first.end - first.begin);
    writer.put(address);
    writer.put(lineEnd);
    reader.close();
    writer.commit();
    return m_encoding.decode(address);
}

void UrlListFile::CompactUrlList() const
{
    ListReader reader(m_path);
    ListWriter writer(m_path);
    Compactor compactor(writer);
    QByteArray piece;
    while (reader.readInto(piece))
        compactor.put(piece);
    reader.close();
    writer.commit();
}
