// The main window at a device pixel ratio of 2 (this program runs with
// QT_SCALE_FACTOR=2): the tool buttons' drawings are rendered at twice the
// pixels, not scaled up. The window is saved as hidpi-main-window.png and the
// tool bars with every button enabled as hidpi-tool-bars.png in the working
// folder, for a person to look at.
#include "app/lockkeys.h"
#include "app/mainwindow.h"
#include "app/pictures.h"

#include "support/scripted.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct NoLocks : LockKeys {
    std::optional<bool> capsLock() const override { return std::nullopt; }
    std::optional<bool> numLock() const override { return std::nullopt; }
};

// How far two images of one size differ, as the largest channel difference.
int largestDifference(const QImage& a, const QImage& b) {
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return most;
}

} // namespace

TEST(HiDpi, TheToolButtonsAreDrawnAtTwiceThePixels) {
    ASSERT_DOUBLE_EQ(qApp->devicePixelRatio(), 2.0) << "run with QT_SCALE_FACTOR=2";
    TempDir dir;
    dir.write("MMEdit.ini", "[Application]\r\nToolBar=1\r\n"); // the tool bars shown
    SettingsState settings;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    NoLocks locks;
    MainWindow main(settings, dialogs, shell, locks, dir.path());
    main.startUp();
    main.show();
    QApplication::processEvents();

    int buttons = 0;
    for (QToolBar* bar : main.findChildren<QToolBar*>()) {
        for (QAction* a : bar->actions()) {
            auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
            if (!button) continue;
            ++buttons;
            SCOPED_TRACE(a->objectName().toStdString());
            // The hint stays the tip.
            EXPECT_EQ(a->toolTip(), a->property("Hint").toString());
            ASSERT_FALSE(a->icon().isNull());
            // Drawn at 48 by 48 device pixels (a picture of 24 would stay
            // 24 and be scaled up when painted).
            const QPixmap sharp = a->icon().pixmap(QSize(24, 24), 2.0);
            EXPECT_EQ(sharp.size(), QSize(48, 48));
            EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
            // Something is drawn, also in the disabled look.
            QImage blank(48, 48, QImage::Format_ARGB32);
            blank.fill(Qt::transparent);
            EXPECT_GT(
                largestDifference(sharp.toImage().convertToFormat(QImage::Format_ARGB32), blank),
                128);
            const QPixmap grey = a->icon().pixmap(QSize(24, 24), 2.0, QIcon::Disabled);
            EXPECT_EQ(grey.size(), QSize(48, 48));
            EXPECT_GT(
                largestDifference(grey.toImage().convertToFormat(QImage::Format_ARGB32), blank),
                64);
        }
    }
    EXPECT_EQ(buttons, 26);
    EXPECT_TRUE(main.toolBarArea()->isVisible());

    // The program icon gives the desktop every size it asks for.
    const QIcon program = pictures::programIcon();
    for (int side : {16, 32, 64, 256})
        EXPECT_EQ(program.pixmap(QSize(side, side), 1.0).size(), QSize(side, side));
    EXPECT_TRUE(pictures::toolIcon(QStringLiteral("no-such-drawing")).isNull());

    const QPixmap shot = main.grab();
    EXPECT_DOUBLE_EQ(shot.devicePixelRatio(), 2.0);
    EXPECT_EQ(shot.width(), main.width() * 2);
    EXPECT_TRUE(shot.save(QStringLiteral("hidpi-main-window.png")));
    // The buttons in colour, as they look once their commands run.
    for (QToolBar* bar : main.findChildren<QToolBar*>())
        for (QAction* a : bar->actions())
            a->setEnabled(true);
    QApplication::processEvents();
    EXPECT_TRUE(main.toolBarArea()->grab().save(QStringLiteral("hidpi-tool-bars.png")));
}
