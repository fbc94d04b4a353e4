#include "urllistfile.h"

#include "fileerror.h"
#include "textlinefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <vector>

namespace {

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

QByteArray readList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(readFailed(), QDir::toNativeSeparators(path), file.errorString());
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(readFailed(), QDir::toNativeSeparators(path), file.errorString());
    return content;
}

// A new content described as pieces of the old one and a few bytes of our own. Kept lines
// are copied as the bytes they were, and a large list goes to disk without building a second
// copy of it: consecutive pieces of the old content merge into one.
class Pieces
{
public:
    explicit Pieces(QByteArrayView source)
        : m_source(source)
    {
    }

    void addSource(qsizetype begin, qsizetype end)
    {
        if (begin == end)
            return;
        if (!m_parts.empty() && m_parts.back().fromSource && m_parts.back().end == begin) {
            m_parts.back().end = end;
        } else {
            m_parts.push_back({true, begin, end, {}});
        }
        m_size += end - begin;
    }

    // CR LF after the last piece; taken from the old content when it follows there anyway.
    void addLineEnd()
    {
        if (!m_parts.empty() && m_parts.back().fromSource
            && m_source.sliced(m_parts.back().end).startsWith(TextLines::lineEnd)) {
            m_parts.back().end += TextLines::lineEnd.size();
            m_size += TextLines::lineEnd.size();
            return;
        }
        addOwn(TextLines::lineEnd);
    }

    // `bytes` must outlive the pieces.
    void addOwn(QByteArrayView bytes)
    {
        m_parts.push_back({false, 0, 0, bytes});
        m_size += bytes.size();
    }

    qsizetype size() const { return m_size; }
    bool isWholeSource() const
    {
        return m_source.isEmpty()
            ? m_parts.empty()
            : (m_parts.size() == 1 && m_parts.front().fromSource && m_parts.front().begin == 0
                  && m_parts.front().end == m_source.size());
    }

    // Writes few large pieces directly and gathers many small ones first, so a list of a
    // million lines never costs a million write calls.
    bool writeTo(QIODevice &device) const
    {
        constexpr size_t directLimit = 16;
        if (m_parts.size() <= directLimit) {
            for (const Part &part : m_parts) {
                if (!writeAll(device, view(part)))
                    return false;
            }
            return true;
        }
        QByteArray gathered;
        gathered.reserve(m_size);
        for (const Part &part : m_parts)
            gathered.append(view(part));
        return writeAll(device, gathered);
    }

private:
    struct Part
    {
        bool fromSource;
        qsizetype begin;
        qsizetype end;
        QByteArrayView own;
    };

    QByteArrayView view(const Part &part) const
    {
        return part.fromSource ? m_source.sliced(part.begin, part.end - part.begin) : part.own;
    }

    static bool writeAll(QIODevice &device, QByteArrayView bytes)
    {
        return device.write(bytes.data(), bytes.size()) == bytes.size();
    }

    QByteArrayView m_source;
    std::vector<Part> m_parts;
    qsizetype m_size = 0;
};

// Replaces the list through a temporary file in the same directory renamed over it: a crash,
// a kill or a full disk leaves the old list whole, and a failure removes the temporary file
// (QSaveFile's destructor does when the commit has not happened).
void replaceList(const QString &path, const Pieces &content)
{
    QSaveFile file(path);
    // Writing in place when no temporary file can be made would give up the whole point.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw FileError(rewriteFailed(), QDir::toNativeSeparators(path), file.errorString());
    if (!content.writeTo(file)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw FileError(rewriteFailed(), QDir::toNativeSeparators(path), reason);
    }
    if (!file.commit())
        throw FileError(rewriteFailed(), QDir::toNativeSeparators(path), file.errorString());
}

// True when every CR in `bytes`, except one as the very last byte, is followed by an LF: then
// the bytes are lines ending in CR LF as they stand, bar perhaps the last one's end.
bool onlyCrLfInside(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const last = p + bytes.size() - 1; // each step reads p[i + 1]
    bool lone = false;
    // Fixed-size blocks let the compiler turn the comparison into vector code.
    constexpr qsizetype block = 64;
    for (; last - p >= block; p += block) {
        unsigned char found = 0;
        for (qsizetype i = 0; i < block; ++i)
            found |= (p[i] == '\r') & (p[i + 1] != '\n');
        if (found)
            return false;
    }
    for (; p < last; ++p)
        lone |= (p[0] == '\r') & (p[1] != '\n');
    return !lone;
}

// Lines [from, content.size()) of `content`, each ending in CR LF, whatever ended them before.
void addLinesEndingInCrLf(Pieces &out, QByteArrayView content, qsizetype from)
{
    const qsizetype size = content.size();
    if (from == size)
        return;
    const QByteArrayView rest = content.sliced(from);
    if (onlyCrLfInside(rest)) {
        out.addSource(from, size);
        if (rest.endsWith('\r'))
            out.addOwn(TextLines::lineEnd.sliced(1));
        else if (!rest.endsWith(TextLines::lineEnd))
            out.addOwn(TextLines::lineEnd);
        return;
    }
    for (qsizetype pos = from; pos < size;) {
        const TextLines::Line line = TextLines::lineAt(content, pos);
        out.addSource(line.begin, line.end);
        out.addLineEnd();
        pos = line.next;
    }
}

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
    const QString reason
        = QFileInfo(m_path).isDir() ? qt_error_string(EISDIR) : file.errorString();
    throw FileError(createFailed(), QDir::toNativeSeparators(m_path), reason);
}

qint64 UrlListFile::CountUrlList() const
{
    return TextLines::count(readList(m_path));
}

QString UrlListFile::RotateUrlList() const
{
    const QByteArray content = readList(m_path);
    const qsizetype size = content.size();

    // The leading empty lines are bare terminators; no need to split anything else.
    qsizetype blank = 0;
    qsizetype pos = 0;
    while (pos < size && content[pos] == '\r') {
        ++blank;
        pos += (pos + 1 < size && content[pos + 1] == '\n') ? 2 : 1;
    }

    // The empty lines stay, and the address taken (if any) leaves an empty line in its place.
    QByteArray blanks = TextLines::lineEnd.toByteArray().repeated(blank + 1);
    Pieces out(content);
    out.addOwn(blanks);
    if (pos == size) {
        replaceList(m_path, out);
        return QString();
    }

    // The address goes to the end, so the next rotation takes the one after it.
    const TextLines::Line first = TextLines::lineAt(content, pos);
    addLinesEndingInCrLf(out, content, first.next);
    out.addSource(first.begin, first.end);
    out.addLineEnd();
    replaceList(m_path, out);
    return m_encoding.decode(QByteArrayView(content).sliced(first.begin, first.end - first.begin));
}

void UrlListFile::CompactUrlList() const
{
    const QByteArray content = readList(m_path);
    const qsizetype size = content.size();

    // Empty lines go. Kept lines end in CR LF, except the file's last line, which ends the file.
    Pieces out(content);
    for (qsizetype pos = 0; pos < size;) {
        const TextLines::Line line = TextLines::lineAt(content, pos);
        if (line.end > line.begin) {
            out.addSource(line.begin, line.end);
            if (line.next < size)
                out.addLineEnd();
        }
        pos = line.next;
    }
    // An already compact list is left as it is: no write, no new inode, nothing to fail.
    if (out.isWholeSource())
        return;
    replaceList(m_path, out);
}
