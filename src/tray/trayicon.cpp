#include "trayicon.h"

#include "text/cp932.h"
#include "text/errors.h"

#include <QApplication>
#include <QCursor>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

constexpr std::int32_t kFirstIconId = 1;

TrayIcon::Registry& registry() {
    static TrayIcon::Registry r;
    return r;
}

std::string idText(std::int32_t id) {
    return std::to_string(id);
}

TrayIcon::Registry::iterator findRegistered(const std::string& text) {
    return std::find_if(registry().begin(), registry().end(),
                        [&](const auto& entry) { return entry.first == text; });
}

bool isIdTaken(std::int32_t id) {
    return findRegistered(idText(id)) != registry().end();
}

// One past the newest icon's identifier, skipping those in use (an identifier
// change can leave a higher one further up the list).
std::int32_t nextFreeId() {
    const TrayIcon::Registry& r = registry();
    std::int32_t id = r.empty() ? kFirstIconId : std::stoi(r.back().first) + 1;
    while (isIdTaken(id))
        ++id;
    return id;
}

QPointer<TrayMessageWindow>& messageWindow() {
    static QPointer<TrayMessageWindow> w;
    return w;
}

// Set while a mouse event is being handled.
bool g_delivering = false;

TrayIcon::PopupRunner realPopupRunner() {
    return [](QMenu* menu, QPoint at) { menu->exec(at); };
}

TrayIcon::CursorSource realCursorSource() {
    return [] { return QCursor::pos(); };
}

TrayIcon::PopupRunner& popupRunner() {
    static TrayIcon::PopupRunner r = realPopupRunner();
    return r;
}

TrayIcon::CursorSource& cursorSource() {
    static TrayIcon::CursorSource s = realCursorSource();
    return s;
}

} // namespace

// --- TrayMessageWindow -------------------------------------------------------

TrayMessageWindow::TrayMessageWindow(QWidget* owner) : QWidget(owner) {
    setObjectName(QStringLiteral("TNotifyWindow"));
    setFixedSize(0, 0);
    hide();
}

void TrayMessageWindow::deliver(std::uint32_t iconId, TrayMouseMessage mouseMessage) {
    const QPoint cursor = cursorSource()();
    auto it = findRegistered(std::to_string(iconId));
    if (it == registry().end() || g_delivering) return;
    TrayIcon* tray = it->second;
    const QScopedValueRollback<bool> delivering(g_delivering, true);
    const int x = cursor.x(), y = cursor.y();
    switch (mouseMessage) {
    case TrayMouseMessage::move:
        tray->mouseMove(x, y);
        break;
    case TrayMouseMessage::leftButtonDown:
        tray->mouseDown(MouseButton::left, leftButtonHeld, x, y);
        break;
    case TrayMouseMessage::leftButtonUp:
        tray->mouseUp(MouseButton::left, leftButtonHeld, x, y);
        break;
    case TrayMouseMessage::leftDoubleClick:
        tray->doubleClick(MouseButton::left);
        break;
    case TrayMouseMessage::rightButtonDown:
        tray->mouseDown(MouseButton::right, rightButtonHeld, x, y);
        break;
    case TrayMouseMessage::rightButtonUp:
        tray->mouseUp(MouseButton::right, rightButtonHeld, x, y);
        break;
    case TrayMouseMessage::rightDoubleClick:
        tray->doubleClick(MouseButton::right);
        break;
    case TrayMouseMessage::middleButtonDown:
        tray->mouseDown(MouseButton::middle, middleButtonHeld, x, y);
        break;
    case TrayMouseMessage::middleButtonUp:
        tray->mouseUp(MouseButton::middle, middleButtonHeld, x, y);
        break;
    case TrayMouseMessage::middleDoubleClick:
        break;
    }
}

// --- TrayIcon ----------------------------------------------------------------

TrayIcon::TrayIcon(QWidget* owner) : QObject(owner), owner_(owner), id_(nextFreeId()) {
    registry().emplace_back(idText(id_), this);
}

TrayIcon::~TrayIcon() {
    deleteIcon();
    auto it = findRegistered(idText(id_));
    if (it != registry().end() && it->second == this) registry().erase(it);
}

const TrayIcon::Registry& TrayIcon::iconRegistry() {
    return registry();
}

TrayIcon::PopupRunner TrayIcon::setPopupRunner(PopupRunner runner) {
    return std::exchange(popupRunner(), runner ? std::move(runner) : realPopupRunner());
}

TrayIcon::CursorSource TrayIcon::setCursorSource(CursorSource source) {
    return std::exchange(cursorSource(), source ? std::move(source) : realCursorSource());
}

void TrayIcon::setLeftMenu(QMenu* menu) {
    leftMenu_ = menu;
}

void TrayIcon::setRightMenu(QMenu* menu) {
    rightMenu_ = menu;
}

void TrayIcon::setTip(const std::string& tip) {
    if (tip == tip_) return;
    tip_ = tip;
    updateIcon();
}

void TrayIcon::setIcon(const QIcon* icon) {
    if (icon == &icon_) return;
    if (icon) {
        icon_ = *icon;
        // Two updates, one for the new image and one for the property: when
        // the icon was still waiting for the area, the area sees it added and
        // then brought up to date.
        updateIcon();
        updateIcon();
    } else {
        icon_ = QIcon();
        updateIcon();
        deleteIcon();
    }
}

void TrayIcon::setIconId(std::int32_t id) {
    if (id < kFirstIconId) throw MMEditError(QStringLiteral("0以下は指定できません"));
    if (id == id_) return;
    auto own = findRegistered(idText(id_));
    if (isIdTaken(id)) throw MMEditError(QStringLiteral("同じアイコン識別子が有ります"));
    if (registered_) {
        // The area knows the icon by its identifier: it leaves under the old
        // one, and the update below brings it back under the new one.
        deleteIcon();
        registered_ = true;
    }
    id_ = id;
    if (own != registry().end()) own->first = idText(id); // keeps its place in the list
    updateIcon();
}

void TrayIcon::setRegistered(bool value) {
    if (value == registered_) return;
    if (value) {
        if (icon_.isNull()) throw MMEditError(QStringLiteral("アイコンが指定されていません"));
        registered_ = true;
        updateIcon();
    } else {
        deleteIcon();
    }
}

bool TrayIcon::isIconShown() const {
    return added_ && notificationArea().isShown(static_cast<std::uint32_t>(id_));
}

TrayFields TrayIcon::fieldsToSend() const {
    return tip_.empty() ? (trayWindow | trayIcon) : (trayWindow | trayIcon | trayTip);
}

void TrayIcon::fillRequest() {
    if (!messageWindow()) messageWindow() = new TrayMessageWindow(owner_);
    // The window goes with the first request; later ones keep it.
    if (!added_) request_.window = messageWindow();
    request_.id = static_cast<std::uint32_t>(id_);
    request_.fields = fieldsToSend();
    request_.icon = icon_;
    // The area takes a limited number of bytes and ends the tip at a zero
    // byte; a double-byte character is never split.
    std::size_t length = tip_.size();
    if (length > kTrayTipBytes) length = cp932::charStartAtOrBefore(tip_, kTrayTipBytes);
    length = std::min(length, tip_.find('\0'));
    request_.tip.assign(tip_, 0, length);
}

void TrayIcon::updateIcon() {
    if (!registered_ || held_) return;
    fillRequest();
    NotificationArea& area = notificationArea();
    const auto result = added_ ? area.modify(request_) : area.add(request_);
    // No notification area on this desktop: the icon stays pending, quietly.
    if (result == NotificationArea::Result::noArea) return;
    if (result == NotificationArea::Result::refused)
        throw MMEditError(QStringLiteral("タスクトレイに登録できません"));
    added_ = true;
}

void TrayIcon::deleteIcon() {
    if (added_) notificationArea().remove(request_);
    added_ = false;
    registered_ = false;
}

void TrayIcon::doubleClick(MouseButton button) {
    if (onDoubleClick) onDoubleClick(this, button);
}

void TrayIcon::mouseDown(MouseButton button, ShiftState shift, int x, int y) {
    // The owner comes to the front first, so that a menu opened from the icon
    // closes again when the user clicks elsewhere.
    if (owner_ && owner_->isWindow()) {
        owner_->activateWindow();
        owner_->raise();
        QCoreApplication::processEvents();
    }
    if (onMouseDown) onMouseDown(this, button, shift, x, y);
    if (button == MouseButton::left && leftMenu_)
        popupRunner()(leftMenu_, QPoint(x, y));
    else if (button == MouseButton::right && rightMenu_)
        popupRunner()(rightMenu_, QPoint(x, y));
}

void TrayIcon::mouseMove(int x, int y) {
    if (onMouseMove) onMouseMove(this, ShiftState{}, x, y);
}

void TrayIcon::mouseUp(MouseButton button, ShiftState shift, int x, int y) {
    if (onMouseUp) onMouseUp(this, button, shift, x, y);
}

// --- Guards ------------------------------------------------------------------

ScopedTrayPopupRunner::ScopedTrayPopupRunner(TrayIcon::PopupRunner runner)
    : previous_(TrayIcon::setPopupRunner(std::move(runner))) {}

ScopedTrayPopupRunner::~ScopedTrayPopupRunner() {
    TrayIcon::setPopupRunner(std::move(previous_));
}

ScopedTrayCursorSource::ScopedTrayCursorSource(TrayIcon::CursorSource source)
    : previous_(TrayIcon::setCursorSource(std::move(source))) {}

ScopedTrayCursorSource::~ScopedTrayCursorSource() {
    TrayIcon::setCursorSource(std::move(previous_));
}
