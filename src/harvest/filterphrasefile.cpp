#include "harvest/filterphrasefile.h"

#include "core/fileerror.h"
#include "urlqueue/textlinefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString FilterPhraseFile::fileName()
{
    return QStringLiteral("过滤关键字.txt");
}

FilterPhraseFile readFilterPhraseFile(const QString &directory, const TextEncoding &encoding)
{
    FilterPhraseFile result;
    const QString path = QDir(directory).filePath(FilterPhraseFile::fileName());
    // Anything of that name is meant as the file, a directory too: better said than ignored.
    result.present = QFileInfo::exists(path);
    if (!result.present)
        return result;
    QFile file(path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly))
        content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = FileError(QStringLiteral("读取过滤关键字失败，本次只用内置的过滤词"),
                                 QDir::toNativeSeparators(path), file.errorString())
                           .message();
        return result;
    }
    for (const QByteArray &line : TextLines::split(content)) {
        // An empty phrase would be in every text. (A first line of only a byte order mark
        // decodes to nothing.)
        if (QString phrase = encoding.decode(line); !phrase.isEmpty())
            result.phrases.append(std::move(phrase));
    }
    return result;
}
