#pragma once

#include <QByteArrayView>

// Scans behind TextLines and the URL list, for code in this folder only.
namespace TextLines {

// The number of CR bytes: every CR ends exactly one line.
qsizetype countCarriageReturns(QByteArrayView bytes);
// True when every CR in `bytes` is followed by an LF, bar a CR as the very last byte (whose LF
// may come with the next piece): such bytes are lines ending in CR LF as they stand.
bool crsFollowedByLf(QByteArrayView bytes);

} // namespace TextLines
