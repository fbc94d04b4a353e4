#ifdef LEXHAUL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Qt WebEngine needs a shared GL context set up before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
