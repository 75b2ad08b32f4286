// One entry point for every test executable: the Qt application object must exist before any
// test touches timers, sockets or widgets, and it must outlive them all.
#include <gtest/gtest.h>

#ifdef TARN_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
