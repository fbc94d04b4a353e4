#include "history/keywordhistory.h"

#include "core/fileerror.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

// Schema version in the file's user_version: a later Lexhaul migrates from it, and this one
// refuses a file a later one has changed.
constexpr int SchemaVersion = 1;

// Keywords are keyed by their exact text (BINARY collation, the default). Addresses are kept
// once and referred to: a page's thousand keywords share one, which keeps the file within
// 150 bytes a keyword.
// Times are seconds since the epoch, UTC; the CSV shows seconds anyway.
const QString Schema[] = {
    u"CREATE TABLE addresses (id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE)"_s,
    u"CREATE TABLE keywords (id INTEGER PRIMARY KEY, keyword TEXT NOT NULL UNIQUE,"
    u" first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL, pages INTEGER NOT NULL,"
    u" address INTEGER REFERENCES addresses (id), written INTEGER NOT NULL DEFAULT 0)"_s,
    // The CSV's order, read without sorting a million rows.
    u"CREATE INDEX keywords_by_first_seen ON keywords (first_seen)"_s,
    // A write to the keyword file that has begun: its keywords are marked written 2 until the
    // next change finds whether the file grew from file_size.
    u"CREATE TABLE pending_write (id INTEGER PRIMARY KEY CHECK (id = 1),"
    u" file_size INTEGER NOT NULL)"_s,
    u"CREATE INDEX keywords_being_written ON keywords (written) WHERE written = 2"_s,
    u"PRAGMA user_version = %1"_s.arg(SchemaVersion),
};

enum class OpenMode { ReadOnly, ReadWrite, Create };

// SQLite's primary result codes the user can act on, in the program's language, with
// SQLite's own words after them.
QString reasonOf(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    QString reason;
    switch (code) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        reason = u"数据库正被另一个程序占用"_s;
        break;
    case 8: // SQLITE_READONLY
        reason = u"没有写入权限"_s;
        break;
    case 10: // SQLITE_IOERR
        reason = u"读写出错"_s;
        break;
    case 11: // SQLITE_CORRUPT
        reason = u"数据库已损坏"_s;
        break;
    case 13: // SQLITE_FULL
        reason = u"磁盘已满"_s;
        break;
    case 14: // SQLITE_CANTOPEN
        reason = u"无法打开"_s;
        break;
    case 26: // SQLITE_NOTADB
        reason = u"不是关键字历史数据库"_s;
        break;
    default:
        reason = u"数据库出错"_s;
        break;
    }
    const QString words
        = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return words.isEmpty() ? reason : reason + u"（"_s + words + u"）"_s;
}

// Each of `keywords` once, in their order.
QStringList distinct(const QStringList &keywords)
{
    QStringList result;
    result.reserve(keywords.size());
    QSet<QString> seen;
    seen.reserve(keywords.size());
    for (const QString &keyword : keywords) {
        if (!seen.contains(keyword)) {
            seen.insert(keyword);
            result.append(keyword);
        }
    }
    return result;
}

// A JSON array of strings, as SQLite's json_each() takes it; a null QString is "".
QString jsonArray(const QStringList &keywords)
{
    qsizetype length = 2;
    for (const QString &keyword : keywords)
        length += keyword.size() + 3;
    QString json;
    json.reserve(length);
    json += u'[';
    for (const QString &keyword : keywords) {
        if (json.size() > 1)
            json += u',';
        json += u'"';
        for (const QChar c : keyword) {
            if (c == u'"' || c == u'\\') {
                json += u'\\';
                json += c;
            } else if (c.unicode() < 0x20) {
                json += u"\\u%1"_s.arg(int(c.unicode()), 4, 16, QChar(u'0'));
            } else {
                json += c;
            }
        }
        json += u'"';
    }
    json += u']';
    return json;
}

QString historyPath(const QString &directory)
{
    return QDir(directory).filePath(KeywordHistory::fileName());
}

// Local time as the CSV writes it. localtime_r rather than QDateTime: a million rows format
// two times each, and one page's keywords share theirs, so the last one is kept.
class LocalTimeText
{
public:
    const QByteArray &operator()(qint64 seconds)
    {
        if (seconds == m_seconds && !m_text.isEmpty())
            return m_text;
        m_seconds = seconds;
        const std::time_t time = static_cast<std::time_t>(seconds);
        std::tm local = {};
        char text[32] = {};
        if (::localtime_r(&time, &local)
            && std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) > 0)
            m_text = QByteArray(text);
        else
            m_text = QByteArray::number(seconds);
        return m_text;
    }

private:
    qint64 m_seconds = 0;
    QByteArray m_text;
};

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
void appendField(QByteArray &line, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n')
        && !bytes.contains('\r')) {
        line += bytes;
        return;
    }
    line += '"';
    for (const char c : bytes) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

} // namespace

// One named Qt SQL connection and the statements prepared on it. Qt SQL wants every query
// and every copy of the database object gone before the connection is removed.
struct KeywordHistory::Connection
{
    Connection(const QString &path, OpenMode mode);
    ~Connection();

    QSqlQuery prepared(const QString &statement);
    void exec(const QString &statement);
    // Whether the file holds this program's tables; false for an empty database.
    bool hasSchema();
    void createSchema();

    QString path;
    QString name;
    QSqlDatabase db;
    QSqlQuery insertAddress;
    QSqlQuery selectAddress;
    QSqlQuery recordKeywords;
    QSqlQuery selectUnwritten;
    QSqlQuery beginWrite;
    QSqlQuery pendingWrite;
};

// Every failure below leaves through this, with the action the caller names.
class SqlFailure
{
public:
    explicit SqlFailure(const QSqlError &error)
        : reason(reasonOf(error))
    {
    }
    explicit SqlFailure(QString text)
        : reason(std::move(text))
    {
    }
    QString reason;
};

KeywordHistory::Connection::Connection(const QString &filePath, OpenMode mode)
    : path(filePath)
{
    static QAtomicInt serial;
    name = u"lexhaul-history-%1"_s.arg(serial.fetchAndAddRelaxed(1));
    db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
    // A URI with its mode: "rw" opens an existing file only, so a history vanishing between
    // the check and the open is not recreated empty.
    const QString uriMode = mode == OpenMode::ReadOnly ? u"ro"_s
        : mode == OpenMode::ReadWrite                  ? u"rw"_s
                                                       : u"rwc"_s;
    db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + u"?mode="_s
                       + uriMode);
    // A crawl's page commits in milliseconds: wait for one rather than fail.
    db.setConnectOptions(mode == OpenMode::ReadOnly
                             ? u"QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"_s
                             : u"QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"_s);
    if (!db.open())
        throw SqlFailure(db.lastError());
}

KeywordHistory::Connection::~Connection()
{
    insertAddress = QSqlQuery();
    selectAddress = QSqlQuery();
    recordKeywords = QSqlQuery();
    selectUnwritten = QSqlQuery();
    beginWrite = QSqlQuery();
    pendingWrite = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

QSqlQuery KeywordHistory::Connection::prepared(const QString &statement)
{
    QSqlQuery query(db);
    if (!query.prepare(statement))
        throw SqlFailure(query.lastError());
    return query;
}

void KeywordHistory::Connection::exec(const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw SqlFailure(query.lastError());
}

bool KeywordHistory::Connection::hasSchema()
{
    // QSQLITE opens any file; the first read is what finds a text file of this name.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(u"PRAGMA user_version"_s) || !query.next())
        throw SqlFailure(query.lastError());
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        throw SqlFailure(u"由更新版本的 Lexhaul 创建，本版本无法使用"_s);
    if (!query.exec(u"SELECT count(*) FROM sqlite_master"_s) || !query.next())
        throw SqlFailure(query.lastError());
    const int objects = query.value(0).toInt();
    if (version == 0 && objects == 0)
        return false;
    if (version == 0)
        throw SqlFailure(u"不是关键字历史数据库（含有其他数据表）"_s);
    return true;
}

void KeywordHistory::Connection::createSchema()
{
    // WAL: a commit is atomic whenever the process dies, and a reader never waits for a
    // writer. synchronous=NORMAL syncs at checkpoints only, which keeps a page's commit in
    // the millisecond range; a power cut may lose the last pages, a kill loses none of them.
    exec(u"PRAGMA journal_mode = WAL"_s);
    exec(u"BEGIN IMMEDIATE"_s);
    try {
        // Another process may have created it since the check.
        if (!hasSchema()) {
            for (const QString &statement : Schema)
                exec(statement);
        }
        exec(u"COMMIT"_s);
    } catch (const SqlFailure &) {
        QSqlQuery(db).exec(u"ROLLBACK"_s);
        throw;
    }
}

QString KeywordHistory::fileName()
{
    return u"关键字历史.db"_s;
}

bool KeywordHistory::existsIn(const QString &directory)
{
    return QFileInfo::exists(historyPath(directory));
}

KeywordHistory::KeywordHistory(const QString &directory, bool create)
    : m_path(historyPath(directory))
{
    const QFileInfo file(m_path);
    if (!file.exists() && !create)
        throw FileError(u"打开关键字历史失败"_s, m_path, u"文件不存在"_s);
    if (file.exists() && !file.isFile())
        throw FileError(u"打开关键字历史失败"_s, m_path, u"同名的不是文件"_s);
    try {
        m_connection
            = std::make_unique<Connection>(m_path, create ? OpenMode::Create : OpenMode::ReadWrite);
        Connection &c = *m_connection;
        if (!c.hasSchema())
            c.createSchema();
        c.exec(u"PRAGMA journal_mode = WAL"_s);
        c.exec(u"PRAGMA synchronous = NORMAL"_s);
        // A crawl's boards come back every hour with mostly the same keywords: 16 MiB keeps
        // their part of the keyword index in memory, and the whole file need not be.
        c.exec(u"PRAGMA cache_size = -16384"_s);
        // A harvest changes a few hundred pages of the file. Copying the log back into the
        // file (and syncing both) every 1,000 of them, SQLite's default, holds up every few
        // harvests; every 10,000 holds up far fewer, each for longer, and the log stays
        // under 40 MB.
        c.exec(u"PRAGMA wal_autocheckpoint = 10000"_s);
        c.insertAddress = c.prepared(u"INSERT OR IGNORE INTO addresses (address) VALUES (?)"_s);
        c.selectAddress = c.prepared(u"SELECT id FROM addresses WHERE address = ?"_s);
        // A page's keywords travel as one JSON array, each statement taking them all: a
        // statement per keyword made a harvest a third slower. ("WHERE true"
        // parts an upsert's ON CONFLICT from the SELECT's join syntax.)
        c.recordKeywords = c.prepared(
            u"INSERT INTO keywords (keyword, first_seen, last_seen, pages, address)"
            u" SELECT value, ?, ?, 1, ? FROM json_each(?) WHERE true"
            u" ON CONFLICT (keyword) DO UPDATE SET"
            u" last_seen = excluded.last_seen, pages = pages + 1, address = excluded.address"
            u" RETURNING iif(written, NULL, keyword)"_s);
        c.selectUnwritten
            = c.prepared(u"SELECT value FROM json_each(?) LEFT JOIN keywords ON keyword = value"
                         u" WHERE coalesce(written, 0) = 0 ORDER BY json_each.key"_s);
        c.beginWrite
            = c.prepared(u"INSERT INTO keywords (keyword, first_seen, last_seen, pages, written)"
                         u" SELECT value, ?, ?, 0, 2 FROM json_each(?) WHERE true"
                         u" ON CONFLICT (keyword) DO UPDATE SET written = 2"_s);
        c.pendingWrite = c.prepared(u"SELECT file_size FROM pending_write"_s);
    } catch (const SqlFailure &failure) {
        m_connection.reset();
        throw FileError(u"打开关键字历史失败"_s, m_path, failure.reason);
    }
}

KeywordHistory::~KeywordHistory() = default;

namespace {

// Runs `work` between BEGIN IMMEDIATE and COMMIT, rolled back on any failure.
template<typename Work>
void inTransaction(QSqlDatabase &db, Work work)
{
    QSqlQuery control(db);
    if (!control.exec(u"BEGIN IMMEDIATE"_s))
        throw SqlFailure(control.lastError());
    try {
        work();
        if (!control.exec(u"COMMIT"_s))
            throw SqlFailure(control.lastError());
    } catch (...) {
        control.exec(u"ROLLBACK"_s);
        throw;
    }
}

void run(QSqlQuery &query)
{
    if (!query.exec())
        throw SqlFailure(query.lastError());
}

} // namespace

QStringList KeywordHistory::record(const Change &change, const QDateTime &at)
{
    Connection &c = *m_connection;
    const qint64 seconds = at.toSecsSinceEpoch();
    const QStringList page = distinct(change.page);
    QStringList toWrite;
    try {
        inTransaction(c.db, [&] {
            // The last write: the keyword file grew from where it began, or it never got it.
            run(c.pendingWrite);
            if (c.pendingWrite.next()) {
                const bool reached = change.fileSize > c.pendingWrite.value(0).toLongLong();
                c.pendingWrite.finish();
                c.exec(
                    u"UPDATE keywords SET written = %1 WHERE written = 2"_s.arg(reached ? 1 : 0));
                c.exec(u"DELETE FROM pending_write"_s);
            }
            c.pendingWrite.finish();

            QSet<QString> pageUnwritten;
            if (!page.isEmpty()) {
                const QString address = change.address.isNull() ? u""_s : change.address;
                c.insertAddress.bindValue(0, address);
                run(c.insertAddress);
                c.selectAddress.bindValue(0, address);
                run(c.selectAddress);
                if (!c.selectAddress.next())
                    throw SqlFailure(c.selectAddress.lastError());
                const qint64 addressId = c.selectAddress.value(0).toLongLong();
                c.selectAddress.finish();

                QSqlQuery &recordPage = c.recordKeywords;
                recordPage.bindValue(0, seconds);
                recordPage.bindValue(1, seconds);
                recordPage.bindValue(2, addressId);
                recordPage.bindValue(3, jsonArray(page));
                run(recordPage);
                // The statement's rows come in no promised order.
                while (recordPage.next()) {
                    if (!recordPage.isNull(0))
                        pageUnwritten.insert(recordPage.value(0).toString());
                }
                if (recordPage.lastError().isValid())
                    throw SqlFailure(recordPage.lastError());
                recordPage.finish();
            }
            if (change.writing.isEmpty())
                return;

            // What the file has never had. A harvest writes its own page, whose answer is in.
            QStringList unwrittenNow;
            if (change.writing == change.page) {
                for (const QString &keyword : page) {
                    if (pageUnwritten.contains(keyword))
                        unwrittenNow.append(keyword);
                }
            } else {
                QSqlQuery &query = c.selectUnwritten;
                query.bindValue(0, jsonArray(distinct(change.writing)));
                run(query);
                while (query.next())
                    unwrittenNow.append(query.value(0).toString());
                if (query.lastError().isValid())
                    throw SqlFailure(query.lastError());
                query.finish();
            }
            toWrite = change.newOnly ? unwrittenNow : change.writing;
            if (unwrittenNow.isEmpty())
                return;
            c.beginWrite.bindValue(0, seconds);
            c.beginWrite.bindValue(1, seconds);
            c.beginWrite.bindValue(2, jsonArray(unwrittenNow));
            run(c.beginWrite);
            c.exec(
                u"INSERT INTO pending_write (id, file_size) VALUES (1, %1)"_s.arg(change.fileSize));
        });
    } catch (const SqlFailure &failure) {
        c.recordKeywords.finish();
        c.selectUnwritten.finish();
        c.pendingWrite.finish();
        throw FileError(u"记录关键字历史失败"_s, m_path, failure.reason);
    }
    return toWrite;
}

QStringList KeywordHistory::unwritten(const QStringList &keywords) const
{
    QSqlQuery &query = m_connection->selectUnwritten;
    QStringList result;
    try {
        query.bindValue(0, jsonArray(distinct(keywords)));
        run(query);
        while (query.next())
            result.append(query.value(0).toString());
        if (query.lastError().isValid())
            throw SqlFailure(query.lastError());
        query.finish();
    } catch (const SqlFailure &failure) {
        query.finish();
        throw FileError(u"读取关键字历史失败"_s, m_path, failure.reason);
    }
    return result;
}

void KeywordHistory::writeCsv(const QString &directory, QIODevice &out)
{
    const QString path = historyPath(directory);
    QByteArray buffer = u"关键字,首次出现,最近出现,出现次数,最近网址\r\n"_s.toUtf8();
    const auto flush = [&] {
        if (out.write(buffer) != buffer.size())
            throw FileError(u"输出关键字历史失败"_s, path, out.errorString());
        buffer.clear();
    };
    if (!QFileInfo::exists(path)) {
        flush();
        return;
    }
    try {
        Connection c(path, OpenMode::ReadOnly);
        if (!c.hasSchema()) {
            flush();
            return;
        }
        // One statement is one read transaction: the last commit, whatever a crawl writes.
        QSqlQuery rows(c.db);
        rows.setForwardOnly(true);
        if (!rows.exec(u"SELECT keyword, first_seen, last_seen, pages, addresses.address"
                       u" FROM keywords LEFT JOIN addresses ON addresses.id = keywords.address"
                       u" ORDER BY first_seen DESC, keywords.id"_s))
            throw SqlFailure(rows.lastError());
        LocalTimeText firstSeen;
        LocalTimeText lastSeen;
        constexpr qsizetype Chunk = 256 * 1024;
        buffer.reserve(Chunk + 4096);
        while (rows.next()) {
            appendField(buffer, rows.value(0).toString());
            buffer += ',';
            buffer += firstSeen(rows.value(1).toLongLong());
            buffer += ',';
            buffer += lastSeen(rows.value(2).toLongLong());
            buffer += ',';
            buffer += QByteArray::number(rows.value(3).toLongLong());
            buffer += ',';
            appendField(buffer, rows.value(4).toString());
            buffer += "\r\n";
            if (buffer.size() >= Chunk)
                flush();
        }
        if (rows.lastError().isValid())
            throw SqlFailure(rows.lastError());
    } catch (const SqlFailure &failure) {
        throw FileError(u"读取关键字历史失败"_s, path, failure.reason);
    }
    flush();
}
