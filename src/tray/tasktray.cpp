#include "tasktray.h"

#include "common/cp932.h"
#include "common/errors.h"

#include <QApplication>
#include <QCursor>

#include <algorithm>

namespace {

using Registry = std::vector<std::pair<std::string, TTaskTray*>>;

Registry& registry() {
    static Registry r;
    return r;
}

QPointer<TNotifyWindow>& notifyWindow() {
    static QPointer<TNotifyWindow> w;
    return w;
}

bool g_notifyBusy = false;

std::function<void(QMenu*, QPoint)>& popupRunner() {
    static std::function<void(QMenu*, QPoint)> r = [](QMenu* m, QPoint p) { m->exec(p); };
    return r;
}

std::function<QPoint()>& cursorSource() {
    static std::function<QPoint()> s = [] { return QCursor::pos(); };
    return s;
}

Registry::iterator findEntry(const std::string& text) {
    return std::find_if(registry().begin(), registry().end(),
                        [&](const auto& e) { return e.first == text; });
}

constexpr std::size_t kTipBytes = 63;

} // namespace

// --- TNotifyWindow -----------------------------------------------------------

TNotifyWindow::TNotifyWindow(QWidget* owner) : QWidget(owner) {
    setObjectName(QStringLiteral("TNotifyWindow"));
    setFixedSize(0, 0);
    hide();
}

void TNotifyWindow::WMTaskTray(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    if (message != WM_TASKTRAY) return;
    const QPoint cursor = cursorSource()();
    auto it = findEntry(std::to_string(wParam));
    if (it == registry().end() || g_notifyBusy) return;
    TTaskTray* tray = it->second;
    g_notifyBusy = true;
    struct Clear {
        ~Clear() { g_notifyBusy = false; }
    } clear;
    const int x = cursor.x(), y = cursor.y();
    switch (lParam) {
    case WM_MOUSEMOVE:
        tray->MouseMove(x, y);
        break;
    case WM_LBUTTONDOWN:
        tray->MouseDown(TMouseButton::mbLeft, ssLeft, x, y);
        break;
    case WM_LBUTTONUP:
        tray->MouseUp(TMouseButton::mbLeft, ssLeft, x, y);
        break;
    case WM_LBUTTONDBLCLK:
        tray->DblClick(TMouseButton::mbLeft);
        break;
    case WM_RBUTTONDOWN:
        tray->MouseDown(TMouseButton::mbRight, ssRight, x, y);
        break;
    case WM_RBUTTONUP:
        tray->MouseUp(TMouseButton::mbRight, ssRight, x, y);
        break;
    case WM_RBUTTONDBLCLK:
        tray->DblClick(TMouseButton::mbRight);
        break;
    case WM_MBUTTONDOWN:
        tray->MouseDown(TMouseButton::mbMiddle, ssMiddle, x, y);
        break;
    case WM_MBUTTONUP:
        tray->MouseUp(TMouseButton::mbMiddle, ssMiddle, x, y);
        break;
    default:
        break;
    }
}

// --- TTaskTray ---------------------------------------------------------------

TTaskTray::TTaskTray(QWidget* owner) : QObject(owner), owner_(owner) {
    Registry& r = registry();
    std::int32_t id = r.empty() ? 1 : std::stoi(r.back().first) + 1;
    // Identifiers in use (after an identifier change) are skipped.
    while (findEntry(std::to_string(id)) != r.end())
        ++id;
    id_ = id;
    r.emplace_back(std::to_string(id), this);
}

TTaskTray::~TTaskTray() {
    DeleteIcon();
    auto it = findEntry(std::to_string(id_));
    if (it != registry().end() && it->second == this) registry().erase(it);
}

const std::vector<std::pair<std::string, TTaskTray*>>& TTaskTray::IconRegistry() {
    return registry();
}

void TTaskTray::setPopupRunner(std::function<void(QMenu*, QPoint)> runner) {
    popupRunner() = runner ? std::move(runner) : [](QMenu* m, QPoint p) { m->exec(p); };
}

void TTaskTray::setCursorSource(std::function<QPoint()> source) {
    cursorSource() = source ? std::move(source) : [] { return QCursor::pos(); };
}

void TTaskTray::SetPopupMenuL(QMenu* m) {
    popupL_ = m;
}
void TTaskTray::SetPopupMenuR(QMenu* m) {
    popupR_ = m;
}

void TTaskTray::SetTipString(const std::string& tip) {
    if (tip == tip_) return;
    tip_ = tip;
    UpdateIcon();
}

void TTaskTray::SetIcon(const QIcon* icon) {
    if (icon == &icon_) return;
    if (icon) {
        icon_ = *icon;
        UpdateIcon(); // the image changed
        UpdateIcon();
    } else {
        icon_ = QIcon();
        UpdateIcon();
        DeleteIcon();
    }
}

void TTaskTray::SetIconID(std::int32_t value) {
    if (value <= 0) throw MMEditError(QStringLiteral("0以下は指定できません"));
    if (value == id_) return;
    auto own = findEntry(std::to_string(id_));
    if (findEntry(std::to_string(value)) != registry().end())
        throw MMEditError(QStringLiteral("同じアイコン識別子が有ります"));
    if (registered_) {
        DeleteIcon();
        registered_ = true;
    }
    id_ = value;
    if (own != registry().end()) own->first = std::to_string(value); // keeps its place
    UpdateIcon();
}

void TTaskTray::SetRegistered(bool value) {
    if (value == registered_) return;
    if (value) {
        if (icon_.isNull()) throw MMEditError(QStringLiteral("アイコンが指定されていません"));
        registered_ = true;
        UpdateIcon();
    } else {
        DeleteIcon();
    }
}

bool TTaskTray::IconShown() const {
    return added_ && notificationArea().isShown(static_cast<std::uint32_t>(id_));
}

void TTaskTray::fillTip() {
    std::size_t n = tip_.size();
    if (n > kTipBytes) n = cp932::charStartAtOrBefore(tip_, kTipBytes);
    std::fill(std::begin(data_.szTip), std::end(data_.szTip), '\0');
    std::copy_n(tip_.data(), n, data_.szTip);
}

void TTaskTray::UpdateIcon() {
    if (!registered_) return;
    if (!notifyWindow()) notifyWindow() = new TNotifyWindow(owner_);
    if (!added_) {
        data_.cbSize = 88;
        data_.hWnd = notifyWindow();
        data_.uCallbackMessage = WM_TASKTRAY;
    }
    data_.uID = static_cast<std::uint32_t>(id_);
    data_.uFlags = tip_.empty() ? (NIF_MESSAGE | NIF_ICON) : (NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data_.hIcon = icon_;
    fillTip();
    NotificationArea& area = notificationArea();
    const auto result = added_ ? area.modify(data_) : area.add(data_);
    // No notification area on this desktop: the icon stays pending, quietly.
    if (result == NotificationArea::Result::NoArea) return;
    if (result == NotificationArea::Result::Refused)
        throw MMEditError(QStringLiteral("タスクトレイに登録できません"));
    added_ = true;
}

void TTaskTray::DeleteIcon() {
    if (added_) notificationArea().remove(data_);
    added_ = false;
    registered_ = false;
}

void TTaskTray::DblClick(TMouseButton button) {
    if (OnDblClick) OnDblClick(this, button);
}

void TTaskTray::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (owner_ && owner_->isWindow()) {
        owner_->activateWindow();
        owner_->raise();
        QCoreApplication::processEvents();
    }
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
    if (button == TMouseButton::mbLeft && popupL_)
        popupRunner()(popupL_, QPoint(x, y));
    else if (button == TMouseButton::mbRight && popupR_)
        popupRunner()(popupR_, QPoint(x, y));
}

void TTaskTray::MouseMove(int x, int y) {
    if (OnMouseMove) OnMouseMove(this, 0, x, y);
}

void TTaskTray::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
