// Widgets need a QApplication for the whole run; the offscreen platform
// lets the tests run without a display.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The offscreen platform with the screen TARNVIK_TEST_SCREEN names
    // ("WIDTHxHEIGHT", optionally "@SCALE"), a large one by default; a
    // QT_QPA_PLATFORM set by hand wins when no screen is named.
    const QByteArray named = qgetenv("TARNVIK_TEST_SCREEN");
    if (!named.isEmpty() || qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const QList<QByteArray> parts = (named.isEmpty() ? QByteArray("1920x1080") : named).split('@');
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TARNVIK_TEST_SCREENS "/" + parts[0] + ".json");
        if (parts.size() > 1)
            qputenv("QT_SCALE_FACTOR", parts[1]);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
