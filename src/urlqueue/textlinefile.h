#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The line rules of every text file the program reads: a line ends at CR or CR LF, the
// terminator is dropped, a lone LF stays inside the line; a final CR LF adds no line; a
// zero-length content has no lines; CR LF alone is one empty line. Lines are kept as bytes,
// so a line that is not valid text in the file's encoding survives a rewrite unchanged.
namespace TextLines {

QList<QByteArray> split(QByteArrayView content);
// Every line followed by CR LF.
QByteArray join(const QList<QByteArray> &lines);

inline constexpr QByteArrayView lineEnd{"\r\n"};

} // namespace TextLines
