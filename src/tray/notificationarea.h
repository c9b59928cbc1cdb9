// The notification area as the tray icons see it: it takes an icon's add,
// modify and remove requests, and reports what the mouse does on an icon to the
// hidden window named in the request. The real one sits on QSystemTrayIcon;
// tests put their own in its place with ScopedNotificationArea.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class TrayMessageWindow;

// Which parts of a request the area takes over.
enum TrayField : std::uint32_t {
    trayWindow = 1, // the window the icon's mouse events go to
    trayIcon = 2,   // the image
    trayTip = 4,    // the tool tip
};
using TrayFields = std::uint32_t;

// The most tool-tip bytes (code page 932) the area takes.
constexpr std::size_t kTrayTipBytes = 63;

// What happened on an icon, as the area reports it.
enum class TrayMouseMessage {
    move,
    leftButtonDown,
    leftButtonUp,
    leftDoubleClick,
    rightButtonDown,
    rightButtonUp,
    rightDoubleClick,
    middleButtonDown,
    middleButtonUp,
    middleDoubleClick,
};

// One icon as the area is asked to show it.
struct TrayIconRequest {
    TrayMessageWindow* window = nullptr; // receives the mouse events
    std::uint32_t id = 0;                // the icon's identifier
    TrayFields fields = 0;               // which of the parts below count
    QIcon icon;
    std::string tip; // code page 932, at most kTrayTipBytes bytes
};

class NotificationArea {
  public:
    enum class Result { done, refused, noArea };
    virtual ~NotificationArea() = default;
    virtual Result add(const TrayIconRequest& request) = 0;
    virtual Result modify(const TrayIconRequest& request) = 0;
    virtual void remove(const TrayIconRequest& request) = 0;
    // Whether the icon of this identifier is really on the screen.
    virtual bool isShown(std::uint32_t id) const = 0;
};

// The desktop's notification area, through QSystemTrayIcon. The icons are
// children of the area. An icon removed while a click is being handled (the
// click's menu restores the window, which takes the icon away) counts as
// removed at once but stays on the screen until the click is over, and is
// deleted then: hiding or deleting it destroys its window, which is still
// inside its mouse handler.
class SystemNotificationArea : public QObject, public NotificationArea {
  public:
    SystemNotificationArea() = default;
    ~SystemNotificationArea() override;
    SystemNotificationArea(const SystemNotificationArea&) = delete;
    SystemNotificationArea& operator=(const SystemNotificationArea&) = delete;

    Result add(const TrayIconRequest& request) override;
    Result modify(const TrayIconRequest& request) override;
    void remove(const TrayIconRequest& request) override;
    bool isShown(std::uint32_t id) const override;

  private:
    struct Entry {
        QSystemTrayIcon* icon = nullptr; // a child of the area
        QPointer<TrayMessageWindow> window;
        bool removed = false; // waiting for the click to end to be deleted
    };
    static void apply(Entry& entry, const TrayIconRequest& request);
    void report(std::uint32_t id, QSystemTrayIcon::ActivationReason why);
    // Deletes the icons that were removed during a click, unless a click is
    // still being handled.
    void dropRemoved();

    std::map<std::uint32_t, Entry> icons_;
    int reporting_ = 0; // clicks being handled (a menu may be open)
};

// The area the tray icons use: the desktop's, unless a ScopedNotificationArea
// has put another in its place.
NotificationArea& notificationArea();

// Puts an area in place of the current one for its lifetime.
class ScopedNotificationArea {
  public:
    explicit ScopedNotificationArea(NotificationArea& area);
    ~ScopedNotificationArea();
    ScopedNotificationArea(const ScopedNotificationArea&) = delete;
    ScopedNotificationArea& operator=(const ScopedNotificationArea&) = delete;

  private:
    NotificationArea* previous_;
};
