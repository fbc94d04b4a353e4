#pragma once

#include "core/textencoding.h"

#include <QString>

class QIODevice;

// Where a batch run reports: plain lines on standard output for a pipe or a log; on a
// terminal a progress bar redrawn in place instead of the progress lines. Errors go to
// standard error, after clearing the bar so that both stay readable.
class BatchConsole
{
public:
    BatchConsole(QIODevice &out, QIODevice &err, bool terminal, TextEncoding encoding);

    void line(const QString &text);
    void error(const QString &text);
    // One counted page: `count` of `total` pages, `caption` its progress text, and what came
    // of `address` (how many keywords it added, or why it could not be loaded). `msPerPage`
    // estimates the time left.
    void progress(qint64 count, qint64 total, const QString &caption, const QString &address,
                  const QString &outcome, qint64 msPerPage);

private:
    void write(QIODevice &device, const QString &text);
    void clearBar();

    QIODevice &m_out;
    QIODevice &m_err;
    bool m_terminal;
    TextEncoding m_encoding;
    QString m_bar;
    bool m_barShown = false;
};
