#include "platform/colors.h"
#include "platform/errorbox.h"
#include "platform/fonts.h"
#include "platform/translations.h"
#include "support/scripted.h"
#include "text/errors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLibraryInfo>
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

TEST(Translations, QtsOwnTextsAreJapanese) {
    const QString file =
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm");
    if (!QFileInfo::exists(file)) GTEST_SKIP() << "qtbase_ja.qm is not installed";
    EXPECT_TRUE(installQtTranslations());
    // Whatever the locale: the program's own texts are Japanese.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"),
              QStringLiteral("名前を付けて保存"));
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    EXPECT_TRUE(installQtTranslations()); // a second call changes nothing
}

TEST(Fonts, MinchoNamesGiveAMinchoFont) {
    const QStringList families = QFontDatabase::families();
    if (!families.contains(QStringLiteral("IPAMincho")))
        GTEST_SKIP() << "IPAMincho is not installed";
    for (const char* name : {"ＭＳ 明朝", "MS Mincho"})
        EXPECT_TRUE(QFontInfo(QFont(QString::fromUtf8(name))).family().contains(u"Mincho"))
            << name << ": " << QFontInfo(QFont(QString::fromUtf8(name))).family().toStdString();
    if (!families.contains(QStringLiteral("IPAPMincho")))
        GTEST_SKIP() << "IPAPMincho is not installed";
    for (const char* name : {"ＭＳ Ｐ明朝", "MS PMincho"})
        EXPECT_EQ(QFontInfo(QFont(QString::fromUtf8(name))).family(), QStringLiteral("IPAPMincho"))
            << name;
    // The Gothic names stay Gothic.
    EXPECT_FALSE(QFontInfo(QFont(QString::fromUtf8(fonts::kGothic))).family().contains(u"Mincho"));
}
