// TrayIcon: one icon in the notification area, kept in step with its
// properties, and what the mouse does on it turned into events and pop-up menus.
#pragma once

#include "notificationarea.h"

#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

enum class MouseButton { left, right, middle };

// The keys and buttons held down during a mouse event, as bits.
enum ShiftFlag : std::uint8_t {
    shiftKey = 1,
    altKey = 2,
    ctrlKey = 4,
    leftButtonHeld = 8,
    rightButtonHeld = 16,
    middleButtonHeld = 32,
    doubleClicked = 64,
};
using ShiftState = std::uint8_t;

// The hidden window the notification area reports an icon's mouse events to.
// All tray icons share one.
class TrayMessageWindow : public QWidget {
  public:
    explicit TrayMessageWindow(QWidget* owner);
    // Hands the mouse event on to the icon of this identifier. Events that
    // arrive while an earlier one is still being handled (a pop-up menu is
    // open) are dropped.
    void deliver(std::uint32_t iconId, TrayMouseMessage mouseMessage);
};

class TrayIcon : public QObject {
  public:
    // Shows a pop-up menu at a point and returns when it closes.
    using PopupRunner = std::function<void(QMenu*, QPoint)>;
    // Says where the mouse cursor is.
    using CursorSource = std::function<QPoint()>;
    // Identifiers (as decimal texts) and their icons, oldest first.
    using Registry = std::vector<std::pair<std::string, TrayIcon*>>;

    explicit TrayIcon(QWidget* owner);
    ~TrayIcon() override;

    // The menus a left and a right click open; cleared when the menu is destroyed.
    QMenu* leftMenu() const { return leftMenu_; }
    QMenu* rightMenu() const { return rightMenu_; }
    void setLeftMenu(QMenu* menu);
    void setRightMenu(QMenu* menu);

    const std::string& tip() const { return tip_; } // code page 932
    void setTip(const std::string& tip);

    const QIcon& icon() const { return icon_; }
    // nullptr clears the image and takes the icon out of the notification area.
    void setIcon(const QIcon* icon);

    // Unique among the program's tray icons; throws MMEditError for a value
    // below 1 or one another icon has.
    std::int32_t iconId() const { return id_; }
    void setIconId(std::int32_t id);

    // Whether the icon is meant to be in the notification area. Registering
    // needs an image; throws MMEditError when the area refuses the icon.
    bool isRegistered() const { return registered_; }
    void setRegistered(bool value);

    // True when the icon is really shown (added and visible on the desktop).
    bool isIconShown() const;
    // True when the notification area has taken the icon.
    bool isAdded() const { return added_; }

    // Keeps the icon out of the area until loaded(), however its
    // properties change meanwhile: the owner's set-up decides whether it
    // stays registered, and the area is not touched for an icon that goes
    // again at once.
    void holdUntilLoaded() { held_ = true; }
    bool isHeld() const { return held_; }
    // The owner is set up: a registered icon goes into the area now.
    void loaded() {
        held_ = false;
        updateIcon();
    }

    std::function<void(TrayIcon*, MouseButton)> onDoubleClick;
    std::function<void(TrayIcon*, ShiftState, int, int)> onMouseMove;
    std::function<void(TrayIcon*, MouseButton, ShiftState, int, int)> onMouseDown;
    std::function<void(TrayIcon*, MouseButton, ShiftState, int, int)> onMouseUp;

    virtual void deleteIcon();
    virtual void updateIcon();
    virtual void doubleClick(MouseButton button);
    virtual void mouseDown(MouseButton button, ShiftState shift, int x, int y);
    virtual void mouseMove(int x, int y);
    virtual void mouseUp(MouseButton button, ShiftState shift, int x, int y);

    static const Registry& iconRegistry();

    // Where pop-up menus are shown and where the cursor is read; an empty
    // function puts back the real one. Each returns the one it replaces.
    static PopupRunner setPopupRunner(PopupRunner runner);
    static CursorSource setCursorSource(CursorSource source);

  private:
    TrayFields fieldsToSend() const;
    void fillRequest();

    QWidget* owner_;
    TrayIconRequest request_;
    bool added_ = false;
    bool registered_ = false;
    bool held_ = false;
    std::int32_t id_ = 0;
    std::string tip_;
    QIcon icon_;
    QPointer<QMenu> leftMenu_, rightMenu_;
};

// Puts a pop-up runner in place of the current one for its lifetime.
class ScopedTrayPopupRunner {
  public:
    explicit ScopedTrayPopupRunner(TrayIcon::PopupRunner runner = {});
    ~ScopedTrayPopupRunner();
    ScopedTrayPopupRunner(const ScopedTrayPopupRunner&) = delete;
    ScopedTrayPopupRunner& operator=(const ScopedTrayPopupRunner&) = delete;

  private:
    TrayIcon::PopupRunner previous_;
};

// Puts a cursor source in place of the current one for its lifetime.
class ScopedTrayCursorSource {
  public:
    explicit ScopedTrayCursorSource(TrayIcon::CursorSource source = {});
    ~ScopedTrayCursorSource();
    ScopedTrayCursorSource(const ScopedTrayCursorSource&) = delete;
    ScopedTrayCursorSource& operator=(const ScopedTrayCursorSource&) = delete;

  private:
    TrayIcon::CursorSource previous_;
};
