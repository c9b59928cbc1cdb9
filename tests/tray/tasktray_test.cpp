#include "tray/tasktray.h"

#include "common/cp932.h"
#include "common/errors.h"

#include <QPixmap>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct Call {
    char op; // 'a'dd, 'm'odify, 'd'elete
    std::uint32_t uID, uFlags;
    std::string tip;
};

struct RecordingArea : NotificationArea {
    std::vector<Call> calls;
    Result answer = Result::Done;
    Result add(const NotifyIconData& d) override { return record('a', d); }
    Result modify(const NotifyIconData& d) override { return record('m', d); }
    void remove(const NotifyIconData& d) override { record('d', d); }
    bool isShown(std::uint32_t) const override { return answer == Result::Done; }
    Result record(char op, const NotifyIconData& d) {
        EXPECT_EQ(d.cbSize, 88u);
        EXPECT_EQ(d.uCallbackMessage, WM_TASKTRAY);
        EXPECT_EQ(d.szTip[63], '\0');
        calls.push_back({op, d.uID, d.uFlags, d.szTip});
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
    QWidget owner;
    TrayTest() { setNotificationArea(&area); }
    ~TrayTest() override {
        setNotificationArea(nullptr);
        TTaskTray::setPopupRunner({});
        TTaskTray::setCursorSource({});
    }
};

} // namespace

TEST_F(TrayTest, IdentifiersFollowTheRegistry) {
    auto a = std::make_unique<TTaskTray>(&owner);
    auto b = std::make_unique<TTaskTray>(&owner);
    EXPECT_EQ(a->IconID(), 1);
    EXPECT_EQ(b->IconID(), 2);
    b.reset();
    b = std::make_unique<TTaskTray>(&owner);
    EXPECT_EQ(b->IconID(), 2);
    a.reset();
    a = std::make_unique<TTaskTray>(&owner);
    EXPECT_EQ(a->IconID(), 3);
    EXPECT_EQ(TTaskTray::IconRegistry().front().first, "2");

    b->SetIconID(2); // its own value: nothing, also with another instance there
    try {
        b->SetIconID(3);
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("同じアイコン識別子が有ります"));
    }
    EXPECT_THROW(b->SetIconID(0), MMEditError);
    EXPECT_EQ(b->IconID(), 2);
    // After a change the registry's last entry is not the highest: new ones skip used numbers.
    a->SetIconID(9);
    b->SetIconID(4);
    auto c = std::make_unique<TTaskTray>(&owner); // last entry 9 → 10
    EXPECT_EQ(c->IconID(), 10);
    c->SetIconID(5);
    auto d = std::make_unique<TTaskTray>(&owner); // last entry 5 → 6
    EXPECT_EQ(d->IconID(), 6);
    c->SetIconID(7);
    auto e = std::make_unique<TTaskTray>(&owner); // last is d (6) → 7 in use → 8
    EXPECT_EQ(e->IconID(), 8);
    EXPECT_TRUE(area.calls.empty());
}

TEST_F(TrayTest, RegisteringAddsOnceAndFlagsFollowTheTip) {
    TTaskTray t(&owner);
    EXPECT_THROW(t.SetRegistered(true), MMEditError); // no image
    EXPECT_FALSE(t.Registered());
    t.SetRegistered(false); // hidden: no shell call
    EXPECT_TRUE(area.calls.empty());
    const QIcon icon = someIcon();
    t.SetIcon(&icon);
    t.SetRegistered(true);
    t.SetRegistered(true);
    ASSERT_EQ(area.calls.size(), 1u);
    EXPECT_EQ(area.calls[0].op, 'a');
    EXPECT_EQ(area.calls[0].uFlags, 3u);
    t.SetTipString(cp932::encodeKnown(QStringLiteral("「もるもる」メールマガジンエディタ")));
    EXPECT_EQ(area.calls.back().op, 'm');
    EXPECT_EQ(area.calls.back().uFlags, 7u);
    t.SetTipString(t.TipString()); // unchanged: nothing
    EXPECT_EQ(area.calls.size(), 2u);
    // A new identifier while shown: delete under the old, add under the new.
    t.SetIconID(5);
    ASSERT_EQ(area.calls.size(), 4u);
    EXPECT_EQ(area.calls[2].op, 'd');
    EXPECT_EQ(area.calls[2].uID, 1u);
    EXPECT_EQ(area.calls[3].op, 'a');
    EXPECT_EQ(area.calls[3].uID, 5u);
    EXPECT_TRUE(t.Registered());
    // No image: out of the notification area.
    t.SetIcon(nullptr);
    EXPECT_EQ(area.calls.back().op, 'd');
    EXPECT_FALSE(t.Registered());
}

TEST_F(TrayTest, LongTipIsCutAtACharacterBoundary) {
    TTaskTray t(&owner);
    const QIcon icon = someIcon();
    t.SetIcon(&icon);
    t.SetTipString(std::string(62, 'a') + "\x82\xA0\x82\xA0"); // あ at bytes 62-63
    t.SetRegistered(true);
    EXPECT_EQ(area.calls.back().tip, std::string(62, 'a'));
    t.SetTipString(std::string(100, 'b'));
    EXPECT_EQ(area.calls.back().tip, std::string(63, 'b'));
}

TEST_F(TrayTest, RefusalAndMissingNotificationArea) {
    TTaskTray t(&owner);
    const QIcon icon = someIcon();
    t.SetIcon(&icon);
    area.answer = NotificationArea::Result::Refused;
    try {
        t.SetRegistered(true);
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("タスクトレイに登録できません"));
    }
    EXPECT_TRUE(t.Registered()); // pending
    EXPECT_FALSE(t.Added());
    area.answer = NotificationArea::Result::NoArea;
    EXPECT_NO_THROW(t.Loaded()); // no area: pending, quietly
    EXPECT_FALSE(t.IconShown());
    area.answer = NotificationArea::Result::Done;
    t.Loaded(); // the next update adds it
    EXPECT_TRUE(t.Added());
    EXPECT_TRUE(t.IconShown());
    EXPECT_EQ(area.calls.back().op, 'a');
}

TEST_F(TrayTest, CallbackDispatchDropsUnknownAndReentrantNotifications) {
    TTaskTray t(&owner);
    const QIcon icon = someIcon();
    t.SetIcon(&icon);
    t.SetRegistered(true);
    QMenu menu;
    t.SetPopupMenuL(&menu);
    t.SetPopupMenuR(&menu);
    TTaskTray::setCursorSource([] { return QPoint(100, 200); });

    std::vector<std::string> events;
    t.OnMouseDown = [&](TTaskTray*, TMouseButton b, TShiftState s, int x, int y) {
        events.push_back("down" + std::to_string(static_cast<int>(b)) + "/" + std::to_string(s) +
                         "@" + std::to_string(x) + "," + std::to_string(y));
    };
    t.OnMouseUp = [&](TTaskTray*, TMouseButton, TShiftState, int, int) { events.push_back("up"); };
    t.OnDblClick = [&](TTaskTray*, TMouseButton b) {
        events.push_back("dbl" + std::to_string(static_cast<int>(b)));
    };
    TNotifyWindow* w = owner.findChild<TNotifyWindow*>();
    ASSERT_NE(w, nullptr);
    std::vector<QPoint> menusAt;
    TTaskTray::setPopupRunner([&](QMenu* m, QPoint p) {
        EXPECT_EQ(m, &menu);
        menusAt.push_back(p);
        // Notifications arriving while the menu is open are dropped.
        w->WMTaskTray(WM_TASKTRAY, 1, WM_LBUTTONUP);
        w->WMTaskTray(WM_TASKTRAY, 1, WM_LBUTTONDBLCLK);
    });
    w->WMTaskTray(WM_TASKTRAY, 1, WM_LBUTTONDOWN);
    EXPECT_EQ(events, (std::vector<std::string>{"down0/8@100,200"}));
    EXPECT_EQ(menusAt, (std::vector<QPoint>{QPoint(100, 200)}));
    w->WMTaskTray(WM_TASKTRAY, 1, WM_LBUTTONUP);     // the menu is closed now
    w->WMTaskTray(WM_TASKTRAY, 2, WM_LBUTTONDOWN);   // unknown identifier
    w->WMTaskTray(WM_TASKTRAY, 1, WM_MBUTTONDBLCLK); // no event
    w->WMTaskTray(WM_TASKTRAY, 1, WM_RBUTTONDBLCLK);
    w->WMTaskTray(WM_TASKTRAY, 1, WM_MBUTTONDOWN); // middle: no menu
    EXPECT_EQ(events,
              (std::vector<std::string>{"down0/8@100,200", "up", "dbl1", "down2/32@100,200"}));
    EXPECT_EQ(menusAt.size(), 1u);
}

TEST_F(TrayTest, DestroyedMenuIsClearedFromBothProperties) {
    TTaskTray t(&owner);
    auto* menu = new QMenu;
    t.SetPopupMenuL(menu);
    t.SetPopupMenuR(menu);
    delete menu;
    EXPECT_EQ(t.PopupMenuL(), nullptr);
    EXPECT_EQ(t.PopupMenuR(), nullptr);
}

TEST(RealTray, OffscreenHasNoNotificationAreaAndSaysSo) {
    QWidget owner;
    TTaskTray t(&owner);
    QPixmap p(16, 16);
    p.fill(Qt::blue);
    const QIcon icon(p);
    t.SetIcon(&icon);
    EXPECT_NO_THROW(t.SetRegistered(true));
    EXPECT_TRUE(t.Registered());
    EXPECT_FALSE(t.IconShown());
    t.SetRegistered(false);
}
