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

    // One harvested page, in one transaction: each of `keywords` counts once for the page
    // however often it stands there, is last seen at `seenAt` on `address`, and first seen
    // then unless the history had it before. Returns those the keyword file has never been
    // given, as unwritten() would: a new-only harvest needs no second look.
    QStringList recordPage(const QString &address, const QStringList &keywords,
                           const QDateTime &seenAt);

    // Those of `keywords` the keyword file has never been given, each once, in their order.
    QStringList unwritten(const QStringList &keywords) const;

    // The keyword file has `keywords` now; one transaction. A keyword the history has not
    // seen on any page (a list harvested before the history existed) is added, seen on no
    // page, at `at`.
    void markWritten(const QStringList &keywords, const QDateTime &at);

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
