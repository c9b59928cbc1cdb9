// TTaskTray: one icon in the notification area, kept in step with its
// properties, and its mouse messages turned into events and pop-up menus.
#pragma once

#include "notifyarea.h"

#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftFlag : std::uint8_t {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64
};
using TShiftState = std::uint8_t;

class TTaskTray;

// The hidden window that receives the notification area's callback message.
class TNotifyWindow : public QWidget {
  public:
    explicit TNotifyWindow(QWidget* owner);
    // The callback message: wParam the icon identifier, lParam the mouse message.
    void WMTaskTray(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam);
};

class TTaskTray : public QObject {
  public:
    explicit TTaskTray(QWidget* owner);
    ~TTaskTray() override;

    QMenu* PopupMenuL() const { return popupL_; }
    QMenu* PopupMenuR() const { return popupR_; }
    void SetPopupMenuL(QMenu* m);
    void SetPopupMenuR(QMenu* m);

    const std::string& TipString() const { return tip_; } // code page 932
    void SetTipString(const std::string& tip);

    const QIcon& Icon() const { return icon_; }
    // nullptr clears the image and takes the icon out of the notification area.
    void SetIcon(const QIcon* icon);

    std::int32_t IconID() const { return id_; }
    void SetIconID(std::int32_t id);

    bool Registered() const { return registered_; }
    void SetRegistered(bool value);

    // True when the icon is really shown (added and visible on the desktop).
    bool IconShown() const;
    bool Added() const { return added_; }

    void Loaded() { UpdateIcon(); }

    std::function<void(TTaskTray*, TMouseButton)> OnDblClick;
    std::function<void(TTaskTray*, TShiftState, int, int)> OnMouseMove;
    std::function<void(TTaskTray*, TMouseButton, TShiftState, int, int)> OnMouseDown;
    std::function<void(TTaskTray*, TMouseButton, TShiftState, int, int)> OnMouseUp;

    virtual void DeleteIcon();
    virtual void UpdateIcon();
    virtual void DblClick(TMouseButton button);
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

    // The module-wide registry of identifiers (decimal texts), in order.
    static const std::vector<std::pair<std::string, TTaskTray*>>& IconRegistry();

    // Seams: where a pop-up menu is shown (returns when it closes) and where
    // the cursor is.
    static void setPopupRunner(std::function<void(QMenu*, QPoint)> runner);
    static void setCursorSource(std::function<QPoint()> source);

  private:
    void fillTip();

    QWidget* owner_;
    NotifyIconData data_;
    bool added_ = false;
    bool registered_ = false;
    std::int32_t id_ = 0;
    std::string tip_;
    QIcon icon_;
    QPointer<QMenu> popupL_, popupR_;

    friend class TNotifyWindow;
};
