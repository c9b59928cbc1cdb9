#include "tray/trayicon.h"

#include "text/cp932.h"
#include "text/errors.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct Call {
    char op; // 'a'dd, 'm'odify, 'd'elete
    std::uint32_t id, fields;
    std::string tip;
};

struct RecordingArea : NotificationArea {
    std::vector<Call> calls;
    Result answer = Result::done;
    Result add(const TrayIconRequest& r) override { return record('a', r); }
    Result modify(const TrayIconRequest& r) override { return record('m', r); }
    void remove(const TrayIconRequest& r) override { record('d', r); }
    bool isShown(std::uint32_t) const override { return answer == Result::done; }
    Result record(char op, const TrayIconRequest& r) {
        // Every request names the window the icon's mouse events go to.
        EXPECT_NE(r.fields & trayWindow, 0u);
        EXPECT_NE(r.window, nullptr);
        EXPECT_LE(r.tip.size(), kTrayTipBytes);
        calls.push_back({op, r.id, r.fields, r.tip});
        return answer;
    }
};

QIcon someIcon() {
    QPixmap p(16, 16);
    p.fill(Qt::red);
    return QIcon(p);
}

struct TrayTest : ::testing::Test {
    RecordingArea area;
    ScopedNotificationArea areaInPlace{area};
    ScopedTrayPopupRunner popupRunner;
    ScopedTrayCursorSource cursorSource;
    QWidget owner;
};

} // namespace

TEST_F(TrayTest, IdentifiersFollowTheRegistry) {
    auto a = std::make_unique<TrayIcon>(&owner);
    auto b = std::make_unique<TrayIcon>(&owner);
    EXPECT_EQ(a->iconId(), 1);
    EXPECT_EQ(b->iconId(), 2);
    b.reset();
    b = std::make_unique<TrayIcon>(&owner);
    EXPECT_EQ(b->iconId(), 2);
    a.reset();
    a = std::make_unique<TrayIcon>(&owner);
    EXPECT_EQ(a->iconId(), 3);
    EXPECT_EQ(TrayIcon::iconRegistry().front().first, "2");

    b->setIconId(2); // its own value: nothing, also with another instance there
    try {
        b->setIconId(3);
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("同じアイコン識別子が有ります"));
    }
    EXPECT_THROW(b->setIconId(0), MMEditError);
    EXPECT_EQ(b->iconId(), 2);
    // After a change the registry's last entry is not the highest: new ones skip used numbers.
    a->setIconId(9);
    b->setIconId(4);
    auto c = std::make_unique<TrayIcon>(&owner); // last entry 9 → 10
    EXPECT_EQ(c->iconId(), 10);
    c->setIconId(5);
    auto d = std::make_unique<TrayIcon>(&owner); // last entry 5 → 6
    EXPECT_EQ(d->iconId(), 6);
    c->setIconId(7);
    auto e = std::make_unique<TrayIcon>(&owner); // last is d (6) → 7 in use → 8
    EXPECT_EQ(e->iconId(), 8);
    EXPECT_TRUE(area.calls.empty());
}

TEST_F(TrayTest, RegisteringAddsOnceAndFlagsFollowTheTip) {
    TrayIcon t(&owner);
    EXPECT_THROW(t.setRegistered(true), MMEditError); // no image
    EXPECT_FALSE(t.isRegistered());
    t.setRegistered(false); // hidden: no call to the area
    EXPECT_TRUE(area.calls.empty());
    const QIcon icon = someIcon();
    t.setIcon(&icon);
    t.setRegistered(true);
    t.setRegistered(true);
    ASSERT_EQ(area.calls.size(), 1u);
    EXPECT_EQ(area.calls[0].op, 'a');
    EXPECT_EQ(area.calls[0].fields, 3u);
    t.setTip(cp932::encodeKnown(QStringLiteral("「もるもる」メールマガジンエディタ")));
    EXPECT_EQ(area.calls.back().op, 'm');
    EXPECT_EQ(area.calls.back().fields, 7u);
    t.setTip(t.tip()); // unchanged: nothing
    EXPECT_EQ(area.calls.size(), 2u);
    // A new identifier while shown: delete under the old, add under the new.
    t.setIconId(5);
    ASSERT_EQ(area.calls.size(), 4u);
    EXPECT_EQ(area.calls[2].op, 'd');
    EXPECT_EQ(area.calls[2].id, 1u);
    EXPECT_EQ(area.calls[3].op, 'a');
    EXPECT_EQ(area.calls[3].id, 5u);
    EXPECT_TRUE(t.isRegistered());
    // No image: out of the notification area.
    t.setIcon(nullptr);
    EXPECT_EQ(area.calls.back().op, 'd');
    EXPECT_FALSE(t.isRegistered());
}

TEST_F(TrayTest, LongTipIsCutAtACharacterBoundary) {
    TrayIcon t(&owner);
    const QIcon icon = someIcon();
    t.setIcon(&icon);
    t.setTip(std::string(62, 'a') + "\x82\xA0\x82\xA0"); // あ at bytes 62-63
    t.setRegistered(true);
    EXPECT_EQ(area.calls.back().tip, std::string(62, 'a'));
    t.setTip(std::string(100, 'b'));
    EXPECT_EQ(area.calls.back().tip, std::string(63, 'b'));
}

TEST_F(TrayTest, RefusalAndMissingNotificationArea) {
    TrayIcon t(&owner);
    const QIcon icon = someIcon();
    t.setIcon(&icon);
    area.answer = NotificationArea::Result::refused;
    try {
        t.setRegistered(true);
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("タスクトレイに登録できません"));
    }
    EXPECT_TRUE(t.isRegistered()); // pending
    EXPECT_FALSE(t.isAdded());
    area.answer = NotificationArea::Result::noArea;
    EXPECT_NO_THROW(t.loaded()); // no area: pending, quietly
    EXPECT_FALSE(t.isIconShown());
    area.answer = NotificationArea::Result::done;
    t.loaded(); // the next update adds it
    EXPECT_TRUE(t.isAdded());
    EXPECT_TRUE(t.isIconShown());
    EXPECT_EQ(area.calls.back().op, 'a');
}

// A held icon leaves the area alone until loaded(): one registered then
// goes in once, one taken away meanwhile never reaches it.
TEST_F(TrayTest, HeldIconReachesTheAreaOnlyWhenLoaded) {
    const struct {
        bool registeredAtLoad;
        std::size_t calls;
    } cases[] = {{true, 1}, {false, 0}};
    for (const auto& c : cases) {
        area.calls.clear();
        TrayIcon t(&owner);
        t.holdUntilLoaded();
        const QIcon icon = someIcon();
        t.setIcon(&icon);
        t.setTip("tip");
        t.setRegistered(true);
        t.setRegistered(c.registeredAtLoad);
        EXPECT_TRUE(area.calls.empty());
        EXPECT_FALSE(t.isAdded());
        t.loaded();
        EXPECT_EQ(area.calls.size(), c.calls);
        EXPECT_EQ(t.isAdded(), c.registeredAtLoad);
        if (c.registeredAtLoad) {
            EXPECT_EQ(area.calls.back().op, 'a');
        }
        t.setTip("later"); // loaded: changes go through at once
        EXPECT_EQ(area.calls.size(), c.registeredAtLoad ? 2u : 0u);
    }
}

TEST_F(TrayTest, CallbackDispatchDropsUnknownAndReentrantNotifications) {
    TrayIcon t(&owner);
    const QIcon icon = someIcon();
    t.setIcon(&icon);
    t.setRegistered(true);
    QMenu menu;
    t.setLeftMenu(&menu);
    t.setRightMenu(&menu);
    TrayIcon::setCursorSource([] { return QPoint(100, 200); });

    std::vector<std::string> events;
    t.onMouseDown = [&](TrayIcon*, MouseButton b, ShiftState s, int x, int y) {
        events.push_back("down" + std::to_string(static_cast<int>(b)) + "/" + std::to_string(s) +
                         "@" + std::to_string(x) + "," + std::to_string(y));
    };
    t.onMouseUp = [&](TrayIcon*, MouseButton, ShiftState, int, int) { events.push_back("up"); };
    t.onDoubleClick = [&](TrayIcon*, MouseButton b) {
        events.push_back("dbl" + std::to_string(static_cast<int>(b)));
    };
    TrayMessageWindow* w = owner.findChild<TrayMessageWindow*>();
    ASSERT_NE(w, nullptr);
    std::vector<QPoint> menusAt;
    TrayIcon::setPopupRunner([&](QMenu* m, QPoint p) {
        EXPECT_EQ(m, &menu);
        menusAt.push_back(p);
        // Notifications arriving while the menu is open are dropped.
        w->deliver(1, TrayMouseMessage::leftButtonUp);
        w->deliver(1, TrayMouseMessage::leftDoubleClick);
    });
    w->deliver(1, TrayMouseMessage::leftButtonDown);
    EXPECT_EQ(events, (std::vector<std::string>{"down0/8@100,200"}));
    EXPECT_EQ(menusAt, (std::vector<QPoint>{QPoint(100, 200)}));
    w->deliver(1, TrayMouseMessage::leftButtonUp);      // the menu is closed now
    w->deliver(2, TrayMouseMessage::leftButtonDown);    // unknown identifier
    w->deliver(1, TrayMouseMessage::middleDoubleClick); // no event
    w->deliver(1, TrayMouseMessage::rightDoubleClick);
    w->deliver(1, TrayMouseMessage::middleButtonDown); // middle: no menu
    EXPECT_EQ(events,
              (std::vector<std::string>{"down0/8@100,200", "up", "dbl1", "down2/32@100,200"}));
    EXPECT_EQ(menusAt.size(), 1u);
}

TEST_F(TrayTest, DestroyedMenuIsClearedFromBothProperties) {
    TrayIcon t(&owner);
    auto* menu = new QMenu;
    t.setLeftMenu(menu);
    t.setRightMenu(menu);
    delete menu;
    EXPECT_EQ(t.leftMenu(), nullptr);
    EXPECT_EQ(t.rightMenu(), nullptr);
}

TEST(RealTray, OffscreenHasNoNotificationAreaAndSaysSo) {
    QWidget owner;
    TrayIcon t(&owner);
    QPixmap p(16, 16);
    p.fill(Qt::blue);
    const QIcon icon(p);
    t.setIcon(&icon);
    EXPECT_NO_THROW(t.setRegistered(true));
    EXPECT_TRUE(t.isRegistered());
    EXPECT_FALSE(t.isIconShown());
    t.setRegistered(false);
}

// The window's tray menu restores the window, which takes the icon out of the
// area while the icon's own click is still being handled: the icon must live
// until the click is over, and go afterwards.
TEST(RealTray, IconRemovedInsideItsOwnClickLivesUntilTheClickIsOver) {
    QWidget owner;
    TrayIcon tray(&owner);
    SystemNotificationArea area;
    TrayMessageWindow window(&owner);
    TrayIconRequest request;
    request.window = &window;
    request.id = static_cast<std::uint32_t>(tray.iconId());
    request.fields = trayWindow | trayIcon;
    request.icon = QIcon(QPixmap(16, 16));
    area.add(request);
    const QList<QSystemTrayIcon*> icons = area.findChildren<QSystemTrayIcon*>();
    ASSERT_EQ(icons.size(), 1);
    const QPointer<QSystemTrayIcon> icon = icons.front();

    int clicks = 0;
    bool aliveInsideTheClick = false;
    tray.onMouseDown = [&](TrayIcon*, MouseButton button, ShiftState, int, int) {
        EXPECT_EQ(button, MouseButton::right);
        ++clicks;
        area.remove(request);
        // Neither deleted nor hidden: either destroys the icon's window.
        aliveInsideTheClick = !icon.isNull() && icon->isVisible();
    };
    // Another receiver of the same click still finds the icon in place.
    bool aliveAfterTheArea = false;
    QObject::connect(icon.data(), &QSystemTrayIcon::activated, &owner,
                     [&] { aliveAfterTheArea = !icon.isNull(); });
    emit icon->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(aliveInsideTheClick);
    EXPECT_TRUE(aliveAfterTheArea);
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(area.isShown(request.id));
    EXPECT_EQ(area.modify(request), NotificationArea::Result::refused);
    emit icon->activated(QSystemTrayIcon::Context); // removed: no longer reported
    EXPECT_EQ(clicks, 1);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(icon.isNull());

    // Removed outside a click: gone at once; added again: a new icon.
    area.add(request);
    ASSERT_EQ(area.findChildren<QSystemTrayIcon*>().size(), 1);
    const QPointer<QSystemTrayIcon> second = area.findChildren<QSystemTrayIcon*>().front();
    area.remove(request);
    EXPECT_TRUE(second.isNull());
}

TEST(TrayGuards, PutBackWhatWasInPlace) {
    RecordingArea outer, inner;
    {
        ScopedNotificationArea outerInPlace(outer);
        {
            ScopedNotificationArea innerInPlace(inner);
            EXPECT_EQ(&notificationArea(), &inner);
        }
        EXPECT_EQ(&notificationArea(), &outer);
    }
    EXPECT_NE(&notificationArea(), &outer);

    QWidget owner;
    TrayIcon t(&owner);
    int moves = 0;
    t.onMouseMove = [&](TrayIcon*, ShiftState, int x, int y) {
        EXPECT_EQ(QPoint(x, y), QPoint(1, 2));
        ++moves;
    };
    auto* window = new TrayMessageWindow(&owner);
    {
        ScopedTrayCursorSource cursor([] { return QPoint(1, 2); });
        window->deliver(static_cast<std::uint32_t>(t.iconId()), TrayMouseMessage::move);
    }
    EXPECT_EQ(moves, 1);

    QMenu menu;
    t.setLeftMenu(&menu);
    int menus = 0;
    ScopedTrayCursorSource cursor([] { return QPoint(1, 2); });
    {
        ScopedTrayPopupRunner outerRunner([&](QMenu*, QPoint) { menus += 1; });
        {
            ScopedTrayPopupRunner innerRunner([&](QMenu*, QPoint) { menus += 10; });
            t.mouseDown(MouseButton::left, leftButtonHeld, 1, 2);
        }
        t.mouseDown(MouseButton::left, leftButtonHeld, 1, 2);
    }
    EXPECT_EQ(menus, 11);
}
