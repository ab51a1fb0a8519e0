#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "tests/dialogs/test_support.h"

namespace sonfara::dialogs::test {

const QString& XdgRoot() {
    static QTemporaryDir dir;
    static const QString path = dir.path();
    return path;
}

}  // namespace sonfara::dialogs::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The desktop's folders are private to the run: associations and
    // launchers never reach the user's own.
    const QString root = sonfara::dialogs::test::XdgRoot();
    qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
