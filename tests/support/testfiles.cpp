#include "support/testfiles.h"

#include <QDir>
#include <QFile>

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "cannot read " << qPrintable(path);
    return file.isOpen() ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        << "cannot write " << qPrintable(path) << ": " << qPrintable(file.errorString());
}

QStringList dirEntries(const QString &directory)
{
    return QDir(directory).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    // GoogleTest escapes the bytes of a std::string.
    *os << ::testing::PrintToString(bytes.left(160).toStdString())
        << (bytes.size() > 160 ? "... (" + std::to_string(bytes.size()) + " bytes)" : "");
}

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
