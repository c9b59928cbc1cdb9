#include "help.h"

#include "dialogs.h"

#include "text/errors.h"
#include "text/fileio.h"

#include <QFile>
#include <QGuiApplication>
#include <QKeySequence>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPointer<HelpWindow>& openWindow() {
    static QPointer<HelpWindow> w;
    return w;
}

// The window a help window belongs to: the one at the top of near's parents.
QWidget* outermostWindow(QWidget* near) {
    QWidget* w = near ? near->window() : nullptr;
    while (w && w->parentWidget())
        w = w->parentWidget()->window();
    return w;
}

} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("ヘルプ"));
    if (!parent) setAttribute(Qt::WA_DeleteOnClose);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    // Links are followed here: within the page and to other local pages in
    // this window, everything else on the desktop.
    browser_->setOpenLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::follow);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser_->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("ヘルプ") : title);
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);
    // Two thirds of the screen's height, at a width that reads well.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int height = screen ? screen->availableGeometry().height() * 2 / 3 : 600;
    resize(fontMetrics().averageCharWidth() * 90, std::max(height, 400));
    openWindow() = this;
}

HelpWindow* HelpWindow::current() {
    return openWindow();
}

void HelpWindow::showPage(const QUrl& address) {
    placeOverOwner();
    // Shown first, so that the page is laid out at the window's width when it
    // scrolls to the anchor.
    show();
    raise();
    activateWindow();
    if (browser_->source().adjusted(QUrl::RemoveFragment) == address.adjusted(QUrl::RemoveFragment))
        browser_->reload(); // the page may have changed on disk
    browser_->setSource(address);
    if (address.fragment().isEmpty()) browser_->verticalScrollBar()->setValue(0);
}

void HelpWindow::placeOverOwner() {
    if (placed_) return;
    placed_ = true;
    const QWidget* owner = parentWidget();
    if (!owner || !owner->isVisible()) return;
    QRect r(QPoint(), size());
    r.moveCenter(owner->frameGeometry().center());
    if (const QScreen* screen = owner->screen()) {
        const QRect room = screen->availableGeometry();
        r.moveLeft(
            std::clamp(r.left(), room.left(), std::max(room.left(), room.right() - r.width())));
        r.moveTop(
            std::clamp(r.top(), room.top(), std::max(room.top(), room.bottom() - r.height())));
    }
    move(r.topLeft());
}

void HelpWindow::follow(const QUrl& link) {
    const QUrl target = browser_->source().resolved(link);
    if (target.isLocalFile()) {
        browser_->setSource(target);
        return;
    }
    if (shell_ && dialogs_)
        openOrShowAddress(*shell_, *dialogs_, target.toString(QUrl::FullyEncoded));
}

QString helpAnchor(const QString& keyword) {
    if (keyword.isEmpty()) return {};
    if (keyword == QStringLiteral("基本設定と全体基本設定")) return QStringLiteral("settings");
    if (keyword == QStringLiteral("顔文字パレット")) return QStringLiteral("face-palette");
    if (keyword == QStringLiteral("パターンパレット")) return QStringLiteral("frame-palette");
    return keyword;
}

void showHelp(Shell& shell, Dialogs& dialogs, const std::string& page, const QString& keyword,
              QWidget* near) {
    if (!fileio::isRegularFile(page)) throw MMEditError(openErrorText(page));
    QUrl url = QUrl::fromLocalFile(QFile::decodeName(page.c_str()));
    const QString anchor = helpAnchor(keyword);
    if (!anchor.isEmpty()) url.setFragment(anchor);
    HelpWindow* window = HelpWindow::current();
    if (!window) window = new HelpWindow(outermostWindow(near));
    window->setDesktop(shell, dialogs);
    window->showPage(url);
}
