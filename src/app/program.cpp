#include "app/program.h"

#include "app/batchconsole.h"
#include "app/batchrun.h"
#include "app/commandline.h"
#include "app/directorylock.h"
#include "app/form1.h"
#include "app/handlerboundary.h"
#include "app/shutdownsignals.h"
#include "harvest/browserpane.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdlib>

#include <unistd.h>

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

int runLexhaul(const QString &directory, const TextEncoding &encoding, const CrawlOptions &options)
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
    Form1 form(directory, encoding, RealCrawlPacing, options);
    if (!runHandler(nullptr, [&form] { form.Form_Load(); }))
        return ExitStatus::Failed;
    closeOnShutdownRequests(form);
    form.show();
    const int status = QApplication::exec();
    return status != 0 ? status : form.exitStatus();
}

int runBatch(const QString &directory, const TextEncoding &encoding, BatchConsole &console,
             const BatchPacing &pacing, const CrawlOptions &options)
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
    BatchRun run(directory, encoding, console, pacing, options);
    return run.exec();
}

void checkListRules(Crawl &crawl, BrowserPane &pane, int timeoutMs)
{
    QStringList selectors;
    for (const ListRule &rule : crawl.listRules().rules)
        selectors.append(rule.selector);
    if (selectors.isEmpty())
        return;
    // Shared with the answer, which may come after the wait has given up.
    const auto verdicts = std::make_shared<std::optional<QList<bool>>>();
    QEventLoop wait;
    pane.checkSelectors(selectors,
                        [verdicts, waiting = QPointer(&wait)](const QList<bool> &answer) {
                            *verdicts = answer;
                            if (waiting)
                                waiting->quit();
                        });
    QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
    if (!*verdicts)
        wait.exec();
    // A selector the engine would reject, kept for want of an answer, collects nothing.
    crawl.keepAcceptedRules(verdicts->value_or(QList<bool>()));
}

std::optional<QString> engineRefusal()
{
    // The engine's own switches: the variable, set to anything, or the flag among its flags.
    if (::geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")
        || qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")
               .split(u' ', Qt::SkipEmptyParts)
               .contains(u"--no-sandbox"_s))
        return std::nullopt;
    return u"Lexhaul 不能以 root 身份运行：它内置的浏览器引擎用沙箱把网页隔离开，"
           u"而沙箱不能在 root 身份下运行。\n"
           u"请以普通用户身份运行 Lexhaul。在容器里，请先添加一个普通用户"
           u"（例如 useradd -m lexhaul），再以该用户运行。\n"
           u"如果明白这样做的后果（网页中的代码将不再被隔离），也可以设置环境变量 "
           u"QTWEBENGINE_DISABLE_SANDBOX=1 关闭沙箱后运行。"_s;
}

void useOffscreenPlatform()
{
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
