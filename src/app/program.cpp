#include "app/program.h"

#include "app/batchconsole.h"
#include "app/batchrun.h"
#include "app/commandline.h"
#include "app/directorylock.h"
#include "app/form1.h"
#include "app/handlerboundary.h"
#include "app/shutdownsignals.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

#include <csignal>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// DIR is created when missing; nullopt when that is done, otherwise why it failed.
std::optional<QString> prepareDirectory(const QString &directory)
{
    if (QDir(directory).exists() || QDir().mkpath(directory))
        return std::nullopt;
    return u"无法创建目录 %1"_s.arg(QDir::toNativeSeparators(QDir(directory).absolutePath()));
}

// Qt's own texts (a box's buttons, a text box's menu) in Simplified Chinese like the rest of
// the window, whatever the locale. Without Qt's translations installed they stay English.
void installQtTranslations()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(u"qtbase_zh_CN"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

} // namespace

void closeOnShutdownRequests(Form1 &form)
{
    const auto closeWindow = [&form] {
        // A box left open would keep the program waiting for a user who has gone.
        while (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        form.close();
    };
    auto *shutdownSignals = new ShutdownSignals(&form);
    QObject::connect(shutdownSignals, &ShutdownSignals::received, &form, closeWindow);
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &form, closeWindow);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &form, [&form] { form.close(); });
}

int runLexhaul(const QString &directory, const TextEncoding &encoding)
{
    installQtTranslations();
    if (const auto failure = prepareDirectory(directory)) {
        showMessageBox(nullptr, *failure, QMessageBox::Critical);
        return ExitStatus::Failed;
    }
    DirectoryLock lock(directory);
    if (!lock.tryLock()) {
        showMessageBox(nullptr, lock.refusal(), QMessageBox::Critical);
        return ExitStatus::Failed;
    }
    Form1 form(directory, encoding);
    if (!runHandler(nullptr, [&form] { form.Form_Load(); }))
        return ExitStatus::Failed;
    closeOnShutdownRequests(form);
    form.show();
    const int status = QApplication::exec();
    return status != 0 ? status : form.exitStatus();
}

int runBatch(const QString &directory, const TextEncoding &encoding, BatchConsole &console)
{
    if (const auto failure = prepareDirectory(directory)) {
        console.error(*failure);
        return ExitStatus::Failed;
    }
    DirectoryLock lock(directory);
    if (!lock.tryLock()) {
        console.error(lock.refusal());
        return ExitStatus::Failed;
    }
    BatchRun run(directory, encoding, console);
    return run.exec();
}

void useOffscreenPlatformWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void quietHeadlessEngineNoise()
{
    QLoggingCategory::setFilterRules(u"qt.webenginecontext.info=false"_s);
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            static const QString harmless[] = {
                u"QStandardPaths: XDG_RUNTIME_DIR not set"_s,
                u"WebEngineContext used before QtWebEngineCore::initialize()"_s,
                u"This plugin does not support propagateSizeHints()"_s,
                u"No suitable graphics backend found"_s,
            };
            for (const QString &start : harmless) {
                if (message.startsWith(start))
                    return;
            }
            previous(type, context, message);
        });
}

void endBySignal(int signalNumber)
{
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
    std::_Exit(ExitStatus::SignalBase + signalNumber);
}
