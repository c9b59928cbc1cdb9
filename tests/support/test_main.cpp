// One QApplication on the offscreen platform for every test program.
#include "platform/fonts.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("「もるもる」メールマガジンエディタ"));
    fonts::installSubstitutions();
    return RUN_ALL_TESTS();
}
