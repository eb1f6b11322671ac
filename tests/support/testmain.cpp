// GoogleTest main with a Qt application object, so that timers and the event loop work.
#include <gtest/gtest.h>

#ifdef VELM_TEST_GUI
#include <QApplication>
using App = QApplication;
#else
#include <QCoreApplication>
using App = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    App app(argc, argv);
    return RUN_ALL_TESTS();
}
