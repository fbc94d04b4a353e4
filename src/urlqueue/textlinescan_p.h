#pragma once

#include <QByteArrayView>

// Scans behind TextLines and the URL list, for code in this folder only. `afterCr` says that
// the bytes before these ended in CR, so an LF first in them completes that CR LF.
namespace TextLines {

// The number of line ends that start in `bytes`: every CR, and every LF not right after a CR.
qsizetype countLineEnds(QByteArrayView bytes, bool afterCr);
// True when every line end in `bytes` is CR LF as it stands, bar a CR as the very last byte
// (whose LF may come with the next piece).
bool onlyCrLf(QByteArrayView bytes, bool afterCr);

} // namespace TextLines
