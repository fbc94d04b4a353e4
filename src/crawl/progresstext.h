#pragma once

#include <QString>

// "抓取第" n "个网址": the caption of both Label2 (pages harvested) and Label3 (the target).
inline QString ProgressText(qint64 n)
{
    return QStringLiteral("抓取第") + QString::number(n) + QStringLiteral("个网址");
}
