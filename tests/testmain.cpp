#include <QCoreApplication>
#ifdef CORVANE_TEST_GUI
#include <QGuiApplication>
#endif
#ifdef CORVANE_TEST_WIDGETS
#include <QApplication>
#endif

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
#ifdef CORVANE_TEST_GUI
    // Listing the tests at build time needs no display.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
#ifdef CORVANE_TEST_OFFSCREEN
    qputenv("QT_QPA_PLATFORM", "offscreen");
#else
    // The X11 backend's tests need Qt's xcb platform on the X server in DISPLAY.
    qputenv("QT_QPA_PLATFORM", "xcb");
#endif
#ifdef CORVANE_TEST_WIDGETS
    // The tray menu and alerts are widgets.
    QApplication application(argc, argv);
#else
    QGuiApplication application(argc, argv);
#endif
#else
    QCoreApplication application(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
