#include "support/testfiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString() << ": "
                      << file.errorString().toStdString();
        return {};
    }
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(bytes) != bytes.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString() << ": "
                      << file.errorString().toStdString();
    }
}

QStringList dirEntries(const QString &directory)
{
    return QDir(directory).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray addressLine(qsizetype i)
{
    return QByteArrayLiteral("https://example.org/item/")
        + QByteArray::number(i).rightJustified(7, '0') + QByteArrayLiteral("/page.html");
}

QByteArray addressLines(qsizetype count)
{
    QByteArray content;
    content.reserve(count * 45);
    for (qsizetype i = 0; i < count; ++i)
        content += addressLine(i) + QByteArrayLiteral("\r\n");
    return content;
}

void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    constexpr qsizetype shown = 160;
    *os << '"';
    for (qsizetype i = 0; i < std::min(bytes.size(), shown); ++i) {
        const unsigned char c = bytes[i];
        if (c == '\r')
            *os << "\\r";
        else if (c == '\n')
            *os << "\\n";
        else if (c == '"' || c == '\\')
            *os << '\\' << c;
        else if (c < 0x20 || c >= 0x7f)
            *os << "\\x" << QByteArray::number(c, 16).rightJustified(2, '0').constData();
        else
            *os << c;
    }
    *os << '"';
    if (bytes.size() > shown)
        *os << "... (" << bytes.size() << " bytes)";
}

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *os << (i ? ", " : "");
        PrintTo(list.at(i), os);
    }
    *os << ']';
}
