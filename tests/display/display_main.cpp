// Display tests paint text, which needs a GUI application; offscreen.
#include <gtest/gtest.h>

#include <QGuiApplication>

#if defined(__SANITIZE_THREAD__)
// Qt's raster engine hands large fills to its own pooled threads and joins
// them inside the uninstrumented Qt libraries, which the race detector
// cannot see; our own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Gui.so.6\ncalled_from_lib:libQt6Core.so.6\n";
}
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
