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
    // By IANA/ICU name, e.g. "UTF-8", "GBK", "GB18030". An unknown name gives an invalid one,
    // which reads and writes UTF-8 so that no text is lost; check isValid() where the name
    // comes from outside.
    explicit TextEncoding(QByteArray name);

    // The locale's character set (setlocale(LC_CTYPE, "") + nl_langinfo(CODESET)); UTF-8
    // where the locale is C or POSIX, or names a set Qt cannot convert.
    static TextEncoding system();

    bool isValid() const { return m_valid; }
    const QByteArray &name() const { return m_name; }

    QByteArray encode(QStringView text) const;
    QString decode(QByteArrayView bytes) const;

private:
    const char *converterName() const;

    QByteArray m_name;
    bool m_valid = false;
};
