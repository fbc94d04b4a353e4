#include "core/textencoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <langinfo.h>
#include <locale.h>

// QStringConverter rather than iconv: Debian's Qt is built with ICU, so converters by name
// cover GBK, GB18030, Big5 and the rest, and invalid input never aborts a conversion.

TextEncoding::TextEncoding(QByteArray name)
    : m_name(std::move(name))
    , m_valid(!m_name.isEmpty() && QStringEncoder(m_name.constData()).isValid())
{
}

TextEncoding TextEncoding::system()
{
    // setlocale() is process-wide: this is meant for start-up, before other threads run.
    // (newlocale() would avoid the switch, but glibc's leaks its LOCPATH list on every call.)
    const char *current = setlocale(LC_CTYPE, nullptr);
    const QByteArray previous = current ? QByteArray(current) : QByteArray();
    QByteArray codeset;
    if (setlocale(LC_CTYPE, ""))
        codeset = nl_langinfo(CODESET);
    if (!previous.isEmpty())
        setlocale(LC_CTYPE, previous.constData());

    // The C/POSIX locale's set is plain ASCII, which would mangle every non-ASCII line;
    // such a locale usually means "not configured", so take UTF-8. So does a locale that is
    // not installed, or names a set the converters do not know.
    if (codeset.isEmpty() || codeset == "ANSI_X3.4-1968")
        return TextEncoding(QByteArrayLiteral("UTF-8"));
    TextEncoding encoding(codeset);
    return encoding.isValid() ? encoding : TextEncoding(QByteArrayLiteral("UTF-8"));
}

const char *TextEncoding::converterName() const
{
    return m_valid ? m_name.constData() : "UTF-8";
}

QByteArray TextEncoding::encode(QStringView text) const
{
    QStringEncoder encoder(converterName());
    return encoder.encode(text);
}

QString TextEncoding::decode(QByteArrayView bytes) const
{
    QStringDecoder decoder(converterName());
    return decoder.decode(bytes);
}
