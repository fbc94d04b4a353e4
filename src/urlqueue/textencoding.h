#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The character set text files are read and written in. The program takes the user's
// locale's set once at start (see system()); tests pass one in, GBK among them.
class TextEncoding
{
public:
    // By IANA/ICU name, e.g. "UTF-8", "GBK", "GB18030". An unknown name gives an invalid one.
    explicit TextEncoding(QByteArray name);

    // The locale's character set (setlocale + nl_langinfo(CODESET)); UTF-8 where the locale
    // is C or POSIX.
    static TextEncoding system();

    bool isValid() const;
    const QByteArray &name() const { return m_name; }

    QByteArray encode(QStringView text) const;
    QString decode(QByteArrayView bytes) const;

private:
    QByteArray m_name;
};
