#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

class QIODevice;

// The keyword history beside the keyword file (关键字历史.db): for each keyword ever harvested
// in the folder, when it was first and last seen, on how many pages, the page it was last
// seen on, and whether the keyword file has it. Keywords compare exactly, character for
// character. Every change is one SQLite transaction in WAL mode, so a kill at any moment
// leaves the database sound and loses at most the change being made, and readers see the
// last commit while a writer works.
//
// Each instance holds a connection of its own and is used on the thread that made it.
// Failures throw FileError naming the database file.
class KeywordHistory
{
public:
    static QString fileName(); // "关键字历史.db"
    static bool existsIn(const QString &directory);

    // Opens the history of `directory`; creates it when missing only if `create`. Throws
    // when the file is missing (and not `create`), is no keyword history, or cannot be read
    // or written. A file that is no database is left as it was.
    KeywordHistory(const QString &directory, bool create);
    ~KeywordHistory();
    KeywordHistory(const KeywordHistory &) = delete;
    KeywordHistory &operator=(const KeywordHistory &) = delete;

    const QString &path() const { return m_path; }

    // What a harvested page, or an export, does to the history, in one transaction.
    struct Change
    {
        QString address = {}; // of the page
        // The keywords the page added to the list: each counts once for the page however
        // often it stands there, is last seen at `at` on `address`, and first seen then
        // unless the history had it before. Empty for an export.
        QStringList page = {};
        // What is about to be appended to the keyword file, which holds `fileSize` bytes.
        QStringList writing = {};
        bool newOnly = false; // of `writing`, only what the file has never had
        qint64 fileSize = 0;
    };

    // Records the change and returns what the keyword file is to get: `writing` itself, or
    // with `newOnly` those of it the file has never had, each once, in their order. From now
    // on they count as written. A write begun by an earlier change that did not make the
    // keyword file grow (the disk was full, the process was killed before it wrote) is taken
    // back first, so what it held counts as unwritten again: nothing is lost, and no keyword
    // reaches the file twice. A keyword written that the history has not seen on any page (a
    // list harvested before the history existed) is added, seen on no page, at `at`.
    QStringList record(const Change &change, const QDateTime &at);

    // Those of `keywords` the keyword file has never been given, each once, in their order.
    QStringList unwritten(const QStringList &keywords) const;

    // The history of `directory` as CSV (RFC 4180, UTF-8, CRLF): the header
    // 关键字,首次出现,最近出现,出现次数,最近网址, then one row per keyword, the newest first
    // seen first (one page's in harvest order), times as local "yyyy-MM-dd HH:mm:ss". Reads
    // the last commit, read-only, whatever a crawl is writing; without a history, the
    // header alone, and nothing is created.
    static void writeCsv(const QString &directory, QIODevice &out);

private:
    struct Connection;

    QString m_path;
    std::unique_ptr<Connection> m_connection;
};
