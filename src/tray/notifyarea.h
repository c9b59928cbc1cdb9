// Our stand-in for the shell's notification area: it receives add, modify and
// delete with the icon record, and reports the mouse messages of an icon to
// the hidden window named in the record.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstdint>
#include <map>
#include <memory>

class TNotifyWindow;

constexpr std::uint32_t NIF_MESSAGE = 1;
constexpr std::uint32_t NIF_ICON = 2;
constexpr std::uint32_t NIF_TIP = 4;
constexpr std::uint32_t WM_TASKTRAY = 0x400 + 102; // WM_USER + 102

// Mouse messages of the callback.
constexpr std::uint32_t WM_MOUSEMOVE = 0x200;
constexpr std::uint32_t WM_LBUTTONDOWN = 0x201;
constexpr std::uint32_t WM_LBUTTONUP = 0x202;
constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x203;
constexpr std::uint32_t WM_RBUTTONDOWN = 0x204;
constexpr std::uint32_t WM_RBUTTONUP = 0x205;
constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x206;
constexpr std::uint32_t WM_MBUTTONDOWN = 0x207;
constexpr std::uint32_t WM_MBUTTONUP = 0x208;
constexpr std::uint32_t WM_MBUTTONDBLCLK = 0x209;

// The icon record (its 88-byte form).
struct NotifyIconData {
    std::uint32_t cbSize = 0;
    TNotifyWindow* hWnd = nullptr;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[64] = {};
};

class NotificationArea {
  public:
    enum class Result { Done, Refused, NoArea };
    virtual ~NotificationArea() = default;
    virtual Result add(const NotifyIconData& data) = 0;
    virtual Result modify(const NotifyIconData& data) = 0;
    virtual void remove(const NotifyIconData& data) = 0;
    // Whether the icon of this identifier is really on the screen.
    virtual bool isShown(std::uint32_t uID) const = 0;
};

// The real notification area, through QSystemTrayIcon.
class QtNotificationArea : public QObject, public NotificationArea {
  public:
    Result add(const NotifyIconData& data) override;
    Result modify(const NotifyIconData& data) override;
    void remove(const NotifyIconData& data) override;
    bool isShown(std::uint32_t uID) const override;

  private:
    struct Entry {
        std::unique_ptr<QSystemTrayIcon> icon;
        QPointer<TNotifyWindow> window;
        std::uint32_t message = 0;
    };
    void apply(Entry& e, const NotifyIconData& data);
    std::map<std::uint32_t, Entry> icons_;
};

// The area the tray components use; the real one unless a test set another.
NotificationArea& notificationArea();
void setNotificationArea(NotificationArea* area); // nullptr: back to the real one
