#include "notificationarea.h"

#include "trayicon.h"

#include "text/cp932.h"

#include <optional>

namespace {

NotificationArea* g_area = nullptr; // nullptr: the desktop's

// The mouse event an activation of the icon stands for; none for the rest.
std::optional<TrayMouseMessage> mouseMessageFor(QSystemTrayIcon::ActivationReason why) {
    switch (why) {
    case QSystemTrayIcon::Trigger:
        return TrayMouseMessage::leftButtonDown;
    case QSystemTrayIcon::Context:
        return TrayMouseMessage::rightButtonDown;
    case QSystemTrayIcon::DoubleClick:
        return TrayMouseMessage::leftDoubleClick;
    case QSystemTrayIcon::MiddleClick:
        return TrayMouseMessage::middleButtonDown;
    default:
        return std::nullopt;
    }
}

} // namespace

NotificationArea& notificationArea() {
    static SystemNotificationArea desktop;
    return g_area ? *g_area : desktop;
}

ScopedNotificationArea::ScopedNotificationArea(NotificationArea& area) : previous_(g_area) {
    g_area = &area;
}

ScopedNotificationArea::~ScopedNotificationArea() {
    g_area = previous_;
}

void SystemNotificationArea::apply(Entry& entry, const TrayIconRequest& request) {
    if (request.fields & trayIcon) entry.icon->setIcon(request.icon);
    if (request.fields & trayTip)
        entry.icon->setToolTip(cp932::decode(request.tip));
    else
        entry.icon->setToolTip(QString());
    if (request.fields & trayWindow) entry.window = request.window;
}

SystemNotificationArea::~SystemNotificationArea() {
    for (auto& [id, entry] : icons_)
        delete entry.icon;
}

void SystemNotificationArea::report(std::uint32_t id, QSystemTrayIcon::ActivationReason why) {
    auto it = icons_.find(id);
    if (it == icons_.end() || it->second.removed || !it->second.window) return;
    const std::optional<TrayMouseMessage> message = mouseMessageFor(why);
    if (!message) return;
    ++reporting_;
    it->second.window->deliver(id, *message);
    --reporting_;
    // Queued: the event loop runs it after the icon's mouse handler returns.
    if (reporting_ == 0)
        QMetaObject::invokeMethod(
            this, [this] { dropRemoved(); }, Qt::QueuedConnection);
}

void SystemNotificationArea::dropRemoved() {
    if (reporting_ > 0) return;
    std::erase_if(icons_, [](const auto& item) {
        if (!item.second.removed) return false;
        delete item.second.icon;
        return true;
    });
}

NotificationArea::Result SystemNotificationArea::add(const TrayIconRequest& request) {
    Entry& entry = icons_[request.id];
    entry.removed = false;
    if (!entry.icon) {
        entry.icon = new QSystemTrayIcon(this);
        const std::uint32_t id = request.id;
        QObject::connect(entry.icon, &QSystemTrayIcon::activated, this,
                         [this, id](QSystemTrayIcon::ActivationReason why) { report(id, why); });
    }
    apply(entry, request);
    // Shown now, or as soon as a notification area appears.
    entry.icon->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return Result::noArea;
    return entry.icon->isVisible() ? Result::done : Result::refused;
}

NotificationArea::Result SystemNotificationArea::modify(const TrayIconRequest& request) {
    auto it = icons_.find(request.id);
    if (it == icons_.end() || it->second.removed) return Result::refused;
    apply(it->second, request);
    return Result::done;
}

void SystemNotificationArea::remove(const TrayIconRequest& request) {
    auto it = icons_.find(request.id);
    if (it == icons_.end()) return;
    // Not even hidden now: hiding destroys the icon's window, which may be
    // the one whose click is being handled.
    it->second.removed = true;
    dropRemoved();
}

bool SystemNotificationArea::isShown(std::uint32_t id) const {
    auto it = icons_.find(id);
    return it != icons_.end() && !it->second.removed && QSystemTrayIcon::isSystemTrayAvailable() &&
           it->second.icon->isVisible();
}
