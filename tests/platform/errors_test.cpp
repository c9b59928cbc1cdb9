#include "platform/colors.h"
#include "platform/errorbox.h"
#include "support/scripted.h"
#include "text/errors.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

TEST(ErrorBox, PeriodFollowsTextsEndingAboveThePeriod) {
    EXPECT_EQ(errorBoxText(QStringLiteral("ファイル a は開けません")),
              QStringLiteral("ファイル a は開けません."));
    EXPECT_EQ(errorBoxText(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(errorBoxText(QStringLiteral("a-")), QStringLiteral("a-")); // '-' sorts before '.'
    EXPECT_EQ(errorBoxText(QStringLiteral("a/")), QStringLiteral("a/."));
    EXPECT_EQ(errorBoxText(QString()), QString());
}

TEST(ErrorBox, CommandFailuresAreReportedAndTheProgramGoesOn) {
    ScriptedDialogs d;
    bool after = false;
    EXPECT_FALSE(runCommand(d, [] { throw MMEditError(writeErrorText()); }));
    EXPECT_TRUE(runCommand(d, [&] { after = true; }));
    EXPECT_TRUE(after);
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].caption, QCoreApplication::applicationName());
    EXPECT_EQ(d.boxes[0].text, QStringLiteral("ストリームへの書き込みエラー."));
    EXPECT_EQ(d.boxes[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(d.boxes[0].buttons, Dialogs::Ok);
}

TEST(Colors, ByteOrderIsBlueGreenRed) {
    EXPECT_EQ(color::teal, 0x808000);
    EXPECT_EQ(toQColor(color::teal), QColor(0, 128, 128));
    EXPECT_EQ(toQColor(color::aqua), QColor(0, 255, 255));
    EXPECT_TRUE(isSystemColor(color::window));
    EXPECT_EQ(colorToRgb(color::silver), 0xC0C0C0u);
}
