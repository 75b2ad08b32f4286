// One entry point for every test executable: the Qt application object must exist before any
// test touches timers, sockets or widgets, and it must outlive them all.
#include <cstdlib>
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
    // Tests run the same from ctest and by hand: no display is needed, and tests find the
    // source tree (tools/, examples/) and the built programs through these variables unless
    // the caller set them already.
    // Set before any thread starts. NOLINTNEXTLINE(concurrency-mt-unsafe)
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TARN_SOURCE_DIR", TARN_DEFAULT_SOURCE_DIR, 0); // NOLINT(concurrency-mt-unsafe)
    setenv("TARN_BINARY_DIR", TARN_DEFAULT_BINARY_DIR, 0); // NOLINT(concurrency-mt-unsafe)

    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
