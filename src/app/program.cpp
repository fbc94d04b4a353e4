#include "app/program.h"

#include "app/form1.h"
#include "app/handlerboundary.h"
#include "app/shutdownsignals.h"

#include <QApplication>

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
    Form1 form(directory, encoding);
    if (!runHandler(nullptr, [&form] { form.Form_Load(); }))
        return 1;
    closeOnShutdownRequests(form);
    form.show();
    const int status = QApplication::exec();
    return status != 0 ? status : form.exitStatus();
}
