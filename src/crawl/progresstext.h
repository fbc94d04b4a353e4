#pragma once

#include <QString>

// "抓取第" n "个网址": the caption of both Label2 and Label3. Completion compares the two
// captions as texts, so both must come from here.
inline QString ProgressText(qint64 n)
{
    return QStringLiteral("抓取第") + QString::number(n) + QStringLiteral("个网址");
}
