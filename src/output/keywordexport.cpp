#include "output/keywordexport.h"

#include "core/fileerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

KeywordFile::KeywordFile(const QString &directory, TextEncoding encoding)
    : m_path(QDir(directory).filePath(fileName()))
    , m_encoding(std::move(encoding))
{
}

QString KeywordFile::fileName()
{
    return QStringLiteral("关键字生成.txt");
}

qint64 KeywordFile::size() const
{
    return QFileInfo(m_path).size();
}

void KeywordFile::append(const QStringList &items) const
{
    // One conversion for the whole export: a converter per item costs more than the text.
    qsizetype length = 0;
    for (const QString &item : items)
        length += item.size() + 2;
    QString text;
    text.reserve(length);
    for (const QString &item : items) {
        text += item;
        text += QLatin1StringView("\r\n");
    }
    const QByteArray bytes = m_encoding.encode(text);

    const bool existed = QFileInfo::exists(m_path);
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw FileError(QStringLiteral("导出关键字失败"), m_path, file.errorString());
    const qint64 oldSize = file.size();
    const qint64 written = file.write(bytes);
    if (written == bytes.size() && file.flush())
        return;

    // Leave the file as the user had it: a half-written export is worse than none.
    const QString reason = file.errorString();
    file.resize(oldSize);
    file.close();
    if (!existed)
        QFile::remove(m_path);
    throw FileError(QStringLiteral("导出关键字失败"), m_path, reason);
}
