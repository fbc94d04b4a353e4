#include "testfiles.h"
#include "textlinefile.h"
#include "urllistfile.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <optional>

// A process killed in the middle of rewriting a large list must leave it exactly as it was
// before or after that rewrite. The test runs this very program again as a child that rotates
// and compacts the list in a loop, kills it at random moments and checks the list each time.

namespace {

constexpr char childDirVariable[] = "LEXHAUL_URLQUEUE_REWRITE_LOOP_DIR";
constexpr char rotatedMarker[] = "rotated\n";

// The child: never returns on its own. Disabled so that it only runs when asked for by name.
TEST(UrlListKillChild, DISABLED_RewriteLoop)
{
    const QString directory = qEnvironmentVariable(childDirVariable);
    if (directory.isEmpty())
        GTEST_SKIP() << "run by UrlListKill only";
    const UrlListFile list(directory, TextEncoding(QByteArrayLiteral("UTF-8")));
    for (;;) {
        list.RotateUrlList();
        std::fputs(rotatedMarker, stdout);
        std::fflush(stdout);
        list.CompactUrlList();
    }
}

// The list starts as lines 0..n-1 and the child alternates rotation and compaction, restarting
// with a rotation after each kill. So a whole list is some CR LFs, the lines from r on and
// then those before r (r = rotations so far), and a final CR LF exactly when it starts with
// one (rotated) or is the original. Returns r, or nothing for anything else.
std::optional<qsizetype> rotationsIn(const QByteArray &file, const QList<QByteArray> &lines,
                                     const QHash<QByteArray, qsizetype> &indexOf)
{
    qsizetype pos = 0;
    while (QByteArrayView(file).sliced(pos).startsWith(TextLines::lineEnd))
        pos += TextLines::lineEnd.size();
    if (pos == file.size())
        return std::nullopt;
    const TextLines::Line first = TextLines::lineAt(file, pos);
    const auto found = indexOf.constFind(file.sliced(first.begin, first.end - first.begin));
    if (found == indexOf.constEnd())
        return std::nullopt;
    const qsizetype r = *found;

    QByteArray expected = file.first(pos);
    expected.reserve(file.size() + 2);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            expected += TextLines::lineEnd;
        expected += lines[(r + i) % lines.size()];
    }
    const bool rotated = pos > 0;
    const bool original = r == 0 && !rotated;
    if (rotated || original)
        expected += TextLines::lineEnd;
    if (file != expected)
        return std::nullopt;
    return r;
}

TEST(UrlListKill, KilledRewriteLeavesOldOrNewContent)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const UrlListFile list(dir.path(), TextEncoding(QByteArrayLiteral("UTF-8")));

    // About 6 MB: long enough a rewrite that the kills land inside rewrites.
    constexpr qsizetype count = 150000;
    QList<QByteArray> lines;
    QHash<QByteArray, qsizetype> indexOf;
    lines.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        lines.append(addressLine(i));
        indexOf.insert(lines.back(), i);
    }
    writeBytes(list.path(), TextLines::join(lines));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childDirVariable), dir.path());

    qsizetype lastRotations = 0;
    for (int round = 0; round < 8; ++round) {
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=UrlListKillChild.DISABLED_RewriteLoop"),
                     QStringLiteral("--gtest_also_run_disabled_tests")});
        ASSERT_TRUE(child.waitForStarted(10000));

        // At least one rotation per round, then the kill at some moment of the loop.
        QByteArray output;
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(rotatedMarker) && timer.elapsed() < 60000
               && child.state() == QProcess::Running) {
            child.waitForReadyRead(100);
            output += child.readAll();
        }
        ASSERT_TRUE(output.contains(rotatedMarker)) << output.toStdString();
        const int delayMs = QRandomGenerator::global()->bounded(250);
        SCOPED_TRACE(::testing::Message() << "round " << round << ", killed " << delayMs
                                          << " ms after the first rotation");
        QThread::msleep(delayMs);
        ASSERT_EQ(child.state(), QProcess::Running)
            << QByteArray(output + child.readAll()).toStdString();
        child.kill(); // SIGKILL
        ASSERT_TRUE(child.waitForFinished(10000));

        const std::optional<qsizetype> rotations
            = rotationsIn(readBytes(list.path()), lines, indexOf);
        ASSERT_TRUE(rotations.has_value()) << "the list is neither the old nor the new content";
        EXPECT_GT(*rotations, lastRotations);
        lastRotations = *rotations;
    }
}

} // namespace
