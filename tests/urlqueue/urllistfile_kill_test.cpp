#include "support/testfiles.h"
#include "urlqueue/urllistfile.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <iostream>

using namespace Qt::Literals::StringLiterals;

// A process killed in the middle of rewriting a large list must leave it exactly as it was
// before or after that rewrite. The test runs this very program again as a child that rotates
// and compacts the list in a loop, kills it at random moments and checks the list each time.

namespace {

constexpr char childDirVariable[] = "LEXHAUL_URLQUEUE_REWRITE_LOOP_DIR";

// The child: never returns on its own, so disabled and run only when asked for by name.
TEST(UrlListKillChild, DISABLED_RewriteLoop)
{
    if (!qEnvironmentVariableIsSet(childDirVariable))
        GTEST_SKIP() << "run by UrlListKill only";
    const UrlListFile list(qEnvironmentVariable(childDirVariable), TextEncoding("UTF-8"));
    for (;;) {
        list.RotateUrlList();
        std::cout << "rotated" << std::endl;
        list.CompactUrlList();
    }
}

TEST(UrlListKill, KilledRewriteLeavesOldOrNewContent)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = UrlListFile(dir.path(), TextEncoding("UTF-8")).path();
    QByteArrayList lines; // about 6 MB: long enough a rewrite that the kills land inside them
    for (qsizetype i = 0; i < 150000; ++i)
        lines.append(addressLine(i));
    writeBytes(path, lines.join("\r\n") + "\r\n");
    qputenv(childDirVariable, QFile::encodeName(dir.path()));

    qsizetype lastRotations = 0;
    for (int round = 0; round < 8; ++round) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--gtest_filter=UrlListKillChild.*"_s, u"--gtest_also_run_disabled_tests"_s});
        QByteArray output;
        while (!output.contains("rotated") && child.waitForReadyRead(60000))
            output += child.readAll();
        ASSERT_TRUE(output.contains("rotated")) << output.toStdString();
        QThread::msleep(QRandomGenerator::global()->bounded(250));
        ASSERT_EQ(child.state(), QProcess::Running) << child.readAllStandardError().toStdString();
        child.kill(); // SIGKILL
        ASSERT_TRUE(child.waitForFinished(10000));

        // Rotations and compactions alternate, each child starting with a rotation: so the list
        // is some empty lines, then the lines from r (the rotations so far) on and those before
        // r, ending in CR LF exactly when it starts with empty lines (after a rotation).
        const QByteArray file = readBytes(path);
        qsizetype blanks = 0;
        while (file.mid(blanks, 2) == "\r\n")
            blanks += 2;
        const qsizetype r = lines.indexOf(file.mid(blanks, file.indexOf('\r', blanks) - blanks));
        ASSERT_GT(r, lastRotations) << "the list starts with no later line of the original";
        const QByteArray expected = file.first(blanks)
            + (lines.mid(r) + lines.first(r)).join("\r\n") + (blanks > 0 ? "\r\n" : "");
        ASSERT_TRUE(file == expected) << "the list is neither the old nor the new content";
        lastRotations = r;
    }
}

} // namespace
