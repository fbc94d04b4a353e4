#include "app/program.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Qt WebEngine needs this before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lexhaul"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    return runLexhaul(QCoreApplication::applicationDirPath(), TextEncoding::system());
}
