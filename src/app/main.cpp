#include "app/batchconsole.h"
#include "app/commandline.h"
#include "app/handlerboundary.h"
#include "app/program.h"
#include "core/fileerror.h"
#include "history/keywordhistory.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace {

// lexhaul --history: neither a display nor the engine, and not the folder's lock, so that it
// runs beside a crawl. The application object is for the program's directory and Qt SQL's
// driver plugin.
int printHistory(int &argc, char **argv, const QString &dir, const TextEncoding &encoding)
{
    QCoreApplication app(argc, argv);
    const QString directory
        = dir.isEmpty() ? QCoreApplication::applicationDirPath() : QDir(dir).absolutePath();
    // The CSV is UTF-8 whatever the locale; writeCsv buffers, so write past stdio.
    QFile out;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    try {
        KeywordHistory::writeCsv(directory, out);
    } catch (const FileError &error) {
        std::fputs(encoding.encode(QString(error.message() + u"\n")).constData(), stderr);
        return ExitStatus::Failed;
    }
    return ExitStatus::Done;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Before the application object: a bad option needs no display and touches no file.
    const Invocation invocation = parseCommandLine(arguments);
    const TextEncoding encoding = TextEncoding::system();
    switch (invocation.mode) {
    case Invocation::Mode::Help:
    case Invocation::Mode::Version:
        std::fputs(encoding.encode(invocation.text).constData(), stdout);
        return ExitStatus::Done;
    case Invocation::Mode::UsageError:
        std::fputs(encoding.encode(invocation.text).constData(), stderr);
        return ExitStatus::Usage;
    case Invocation::Mode::History:
        return printHistory(argc, argv, invocation.directory, encoding);
    case Invocation::Mode::Window:
    case Invocation::Mode::Batch:
        break;
    }

    const bool batch = invocation.mode == Invocation::Mode::Batch;
    // Before anything else: the engine would refuse to start later, in words of its own.
    const std::optional<QString> refusal = engineRefusal();
    if (batch && refusal) {
        std::fputs(encoding.encode(QString(*refusal + u"\n")).constData(), stderr);
        return ExitStatus::Failed;
    }
    if (batch) {
        useOffscreenPlatform();
        quietHeadlessEngineNoise();
    }
    int status = 0;
    {
        // Qt WebEngine needs this before the application object exists.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Lexhaul"));
        QApplication::setApplicationVersion(QStringLiteral(LEXHAUL_VERSION));
        // Lets the desktop match the window to the installed entry and its icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("io.github.lexhaul.Lexhaul"));
        if (refusal) {
            showMessageBox(nullptr, *refusal, QMessageBox::Critical);
            return ExitStatus::Failed;
        }
        const QString directory = invocation.directory.isEmpty()
            ? QCoreApplication::applicationDirPath()
            : QDir(invocation.directory).absolutePath();
        if (batch) {
            // Progress must reach a log as it happens: write to the descriptors, past stdio.
            QFile out;
            QFile err;
            out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
            err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
            BatchConsole console(out, err, ::isatty(STDOUT_FILENO) == 1, encoding);
            BatchPacing pacing;
            pacing.intervalSeconds = invocation.intervalSeconds;
            pacing.timeoutSeconds = invocation.timeoutSeconds;
            status = runBatch(directory, encoding, console, pacing, invocation.options);
        } else {
            status = runLexhaul(directory, encoding, invocation.options);
        }
    }
    // Only now that the engine and its processes are gone.
    if (batch && status > ExitStatus::SignalBase)
        endBySignal(status - ExitStatus::SignalBase);
    return status;
}
