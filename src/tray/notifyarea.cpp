#include "notifyarea.h"

#include "tasktray.h"

#include "common/cp932.h"

namespace {
NotificationArea* g_area = nullptr;
}

NotificationArea& notificationArea() {
    static QtNotificationArea real;
    return g_area ? *g_area : real;
}

void setNotificationArea(NotificationArea* area) {
    g_area = area;
}

void QtNotificationArea::apply(Entry& e, const NotifyIconData& data) {
    if (data.uFlags & NIF_ICON) e.icon->setIcon(data.hIcon);
    if (data.uFlags & NIF_TIP)
        e.icon->setToolTip(cp932::decode(data.szTip));
    else
        e.icon->setToolTip(QString());
    if (data.uFlags & NIF_MESSAGE) {
        e.window = data.hWnd;
        e.message = data.uCallbackMessage;
    }
}

NotificationArea::Result QtNotificationArea::add(const NotifyIconData& data) {
    Entry& e = icons_[data.uID];
    if (!e.icon) {
        e.icon = std::make_unique<QSystemTrayIcon>();
        const std::uint32_t id = data.uID;
        // The icon's activations become the callback's mouse messages.
        QObject::connect(e.icon.get(), &QSystemTrayIcon::activated, this,
                         [this, id](QSystemTrayIcon::ActivationReason reason) {
                             auto it = icons_.find(id);
                             if (it == icons_.end() || !it->second.window) return;
                             std::uint32_t msg = 0;
                             switch (reason) {
                             case QSystemTrayIcon::Trigger:
                                 msg = WM_LBUTTONDOWN;
                                 break;
                             case QSystemTrayIcon::Context:
                                 msg = WM_RBUTTONDOWN;
                                 break;
                             case QSystemTrayIcon::DoubleClick:
                                 msg = WM_LBUTTONDBLCLK;
                                 break;
                             case QSystemTrayIcon::MiddleClick:
                                 msg = WM_MBUTTONDOWN;
                                 break;
                             default:
                                 return;
                             }
                             it->second.window->WMTaskTray(it->second.message, id, msg);
                         });
    }
    apply(e, data);
    // Shown now, or as soon as a notification area appears.
    e.icon->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return Result::NoArea;
    return e.icon->isVisible() ? Result::Done : Result::Refused;
}

NotificationArea::Result QtNotificationArea::modify(const NotifyIconData& data) {
    auto it = icons_.find(data.uID);
    if (it == icons_.end()) return Result::Refused;
    apply(it->second, data);
    return Result::Done;
}

void QtNotificationArea::remove(const NotifyIconData& data) {
    icons_.erase(data.uID);
}

bool QtNotificationArea::isShown(std::uint32_t uID) const {
    auto it = icons_.find(uID);
    return it != icons_.end() && QSystemTrayIcon::isSystemTrayAvailable() &&
           it->second.icon->isVisible();
}
