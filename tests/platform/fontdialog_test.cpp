#include "platform/fontdialog.h"
#include "platform/fonts.h"
#include "support/screenshots.h"

#include <QFontDialog>
#include <QLineEdit>
#include <QListView>
#include <gtest/gtest.h>

namespace {

struct FontDialogTest : ::testing::Test {
    static QFont gothic() {
        QFont f(QString::fromUtf8(fonts::kGothic));
        f.setPointSize(12);
        f.setFixedPitch(true);
        f.setStyleHint(QFont::TypeWriter);
        return f;
    }

    // The families the dialog's family list shows.
    static QStringList shownFamilies(const QFontDialog& dialog) {
        QStringList shown;
        const QListView* list = dialog.findChild<QListView*>();
        if (!list) return shown;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            if (!list->isRowHidden(row)) shown << list->model()->index(row, 0).data().toString();
        return shown;
    }
};

} // namespace

TEST_F(FontDialogTest, DualSpacedJapaneseFontsCountAsFixedPitch) {
    const struct {
        const char* family;
        bool fixed;
    } cases[] = {
        {"IPAGothic", true},     {"IPAMincho", true},   {"DejaVu Sans Mono", true},
        {"IPAPGothic", false},   {"IPAPMincho", false}, {"DejaVu Sans", false},
        {"DejaVu Serif", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fonts::isFixedPitchFamily(QString::fromLatin1(c.family)), c.fixed) << c.family;
}

TEST_F(FontDialogTest, FixedPitchListHoldsTheJapaneseFontsAndShowsTheFontInUse) {
    QFontDialog dialog;
    fonts::prepareFontDialog(dialog, gothic(), true);
    const QStringList shown = shownFamilies(dialog);
    for (const char* family : {"IPAGothic", "IPAMincho", "DejaVu Sans Mono"})
        EXPECT_TRUE(shown.contains(QString::fromLatin1(family))) << family;
    for (const char* family : {"IPAPGothic", "IPAPMincho", "DejaVu Sans"})
        EXPECT_FALSE(shown.contains(QString::fromLatin1(family))) << family;
    EXPECT_EQ(dialog.findChild<QListView*>()->currentIndex().data().toString(),
              QStringLiteral("IPAGothic"));
    EXPECT_EQ(dialog.currentFont().family(), QStringLiteral("IPAGothic"));
    EXPECT_FALSE(dialog.currentFont().italic());
    EXPECT_EQ(dialog.currentFont().pointSize(), 12);
    const auto* sample = dialog.findChild<QLineEdit*>(QStringLiteral("qt_fontDialog_sampleEdit"));
    ASSERT_NE(sample, nullptr);
    EXPECT_TRUE(sample->text().contains(QStringLiteral("あいう")));

    // Left as it was, the font keeps the name the settings hold.
    EXPECT_EQ(fonts::fontChosen(dialog, gothic()).family(), QString::fromUtf8(fonts::kGothic));
    EXPECT_EQ(fonts::fontChosen(dialog, gothic()).pointSize(), 12);
    dialog.setCurrentFont(QFont(QStringLiteral("IPAMincho"), 14));
    EXPECT_EQ(fonts::fontChosen(dialog, gothic()).family(), QStringLiteral("IPAMincho"));
    EXPECT_EQ(fonts::fontChosen(dialog, gothic()).pointSize(), 14);

    QFontDialog pictured;
    fonts::prepareFontDialog(pictured, gothic(), true);
    pictured.resize(560, 420);
    pictured.show();
    keepScreenshot(pictured.grab().toImage(), "font-dialog.png");
}

TEST_F(FontDialogTest, AnyPitchListsEveryFamily) {
    QFontDialog dialog;
    fonts::prepareFontDialog(dialog, gothic(), false);
    const QStringList shown = shownFamilies(dialog);
    for (const char* family : {"IPAGothic", "IPAPGothic", "DejaVu Sans", "DejaVu Sans Mono"})
        EXPECT_TRUE(shown.contains(QString::fromLatin1(family))) << family;
    EXPECT_EQ(dialog.currentFont().family(), QStringLiteral("IPAGothic"));
}

// The program's window fonts name the installed family their name stands for
// here (the fonts of the test machine: IPA fonts and DejaVu).
TEST(InstalledFamily, NamesTheFamilyTheSubstitutionShows) {
    const struct {
        const char* name;
        const char* family;
    } cases[] = {
        {"ＭＳ Ｐゴシック", "IPAPGothic"},
        {"ＭＳ ゴシック", "IPAGothic"},
        {"MS Gothic", "IPAGothic"},
        {"ＭＳ 明朝", "IPAMincho"},
        {"IPAGothic", "IPAGothic"},
        {"Symbol", "DejaVu Sans"},
        {"NoSuchFamilyAnywhere", "NoSuchFamilyAnywhere"},
    };
    for (const auto& c : cases) {
        const QString family = fonts::installedFamily(QString::fromUtf8(c.name));
        EXPECT_EQ(family, QString::fromUtf8(c.family)) << c.name;
    }
}
