#include <gtest/gtest.h>

#ifdef LEXHAUL_TEST_GUI
#include <QApplication>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#else
#include <QCoreApplication>
#endif

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef LEXHAUL_TEST_GUI
    // Qt WebEngine needs a shared GL context set up before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
