#include "app/batchconsole.h"

#include <QIODevice>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString duration(qint64 ms)
{
    const qint64 seconds = (std::max<qint64>(ms, 0) + 999) / 1000;
    const QString minutesAndSeconds
        = u"%1:%2"_s.arg((seconds / 60) % 60).arg(seconds % 60, 2, 10, QChar(u'0'));
    return seconds >= 3600 ? u"%1:%2"_s.arg(seconds / 3600).arg(minutesAndSeconds, 5, QChar(u'0'))
                           : minutesAndSeconds;
}

} // namespace

BatchConsole::BatchConsole(QIODevice &out, QIODevice &err, bool terminal, TextEncoding encoding)
    : m_out(out)
    , m_err(err)
    , m_terminal(terminal)
    , m_encoding(std::move(encoding))
{
}

void BatchConsole::line(const QString &text)
{
    clearBar();
    write(m_out, text + u'\n');
}

void BatchConsole::error(const QString &text)
{
    const bool barShown = m_barShown;
    clearBar();
    write(m_err, text + u'\n');
    if (barShown) {
        write(m_out, m_bar);
        m_barShown = true;
    }
}

void BatchConsole::progress(qint64 count, qint64 total, const QString &caption,
                            const QString &address, const QString &outcome, qint64 msPerPage)
{
    if (!m_terminal) {
        write(m_out, u"%1\t%2\t%3\n"_s.arg(caption, address, outcome));
        return;
    }
    constexpr int barWidth = 30;
    const qint64 done = total > 0 ? std::clamp<qint64>(count * barWidth / total, 0, barWidth) : 0;
    const QString bar = QString(done, u'#') + QString(barWidth - done, u'-');
    const qint64 left = std::max<qint64>(total - count, 0) * msPerPage;
    m_bar = u"\r\x1b[K[%1] %2/%3  剩余约 %4"_s.arg(bar).arg(count).arg(total).arg(duration(left));
    write(m_out, m_bar);
    m_barShown = true;
}

void BatchConsole::write(QIODevice &device, const QString &text)
{
    device.write(m_encoding.encode(text));
}

void BatchConsole::clearBar()
{
    if (!m_barShown)
        return;
    write(m_out, u"\r\x1b[K"_s);
    m_barShown = false;
}
