#include "platform/dialogs.h"

#include <QApplication>
#include <gtest/gtest.h>

// A file dialog opened from the header and footer window belongs to that
// window: over the main window it would leave the header and footer window
// behind the main window.
TEST(QtDialogsParent, TheActiveWindowOwnsTheDialog) {
    QWidget main;
    QWidget* own = new QWidget(&main, Qt::Window); // e.g. a settings dialog
    QWidget stranger;                              // e.g. the header and footer window
    QtDialogs dialogs(&main);
    EXPECT_EQ(dialogs.dialogParent(), nullptr); // nothing shown yet: centred on the screen
    main.show();
    own->show();
    stranger.show();
    const struct {
        QWidget* active;
        QWidget* expected;
    } cases[] = {{&main, &main}, {own, own}, {&stranger, &stranger}, {nullptr, &main}};
    for (const auto& c : cases) {
        QApplication::setActiveWindow(c.active);
        EXPECT_EQ(dialogs.dialogParent(), c.expected);
    }
    // The main window hidden in the notification area: the window in use
    // still owns the dialog, else there is no parent.
    main.hide();
    QApplication::setActiveWindow(own);
    EXPECT_EQ(dialogs.dialogParent(), own);
    own->hide();
    QApplication::setActiveWindow(nullptr);
    EXPECT_EQ(dialogs.dialogParent(), nullptr);
}
