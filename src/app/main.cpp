#include "form1.h"
#include "handlerboundary.h"
#include "shutdownsignals.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Qt WebEngine needs this before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lexhaul"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));

    Form1 form(QCoreApplication::applicationDirPath(), TextEncoding::system());
    if (!runHandler(nullptr, [&form] { form.Form_Load(); }))
        return 1;

    // Signals, the end of the desktop session and a quit from elsewhere all close the window
    // the ordinary way, so the URL list file is compacted exactly once.
    const auto closeWindow = [&form] {
        while (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        form.close();
    };
    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::received, &form, closeWindow);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, closeWindow);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.close(); });

    form.show();
    const int status = app.exec();
    return status != 0 ? status : form.exitStatus();
}
