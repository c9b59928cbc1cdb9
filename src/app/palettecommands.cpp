#include "palettecommands.h"

#include "mainwindow.h"

#include "palettes/facepalette.h"
#include "palettes/framepalette.h"
#include "palettes/headerfooterwindow.h"
#include "platform/errorbox.h"

#include <QApplication>
#include <QWindow>

#include <utility>

PaletteCommands::PaletteCommands(MainWindow& window)
    : w_(window), context_{*window.editor(), window.settings(), window.dialogs(), window.shell()} {
    const MainWindow::Actions& a = w_.actions();
    w_.setCommand(a.framePalette, [this](int) { showWindow(framePaletteTag); });
    w_.setCommand(a.facePalette, [this](int) { showWindow(facePaletteTag); });
    w_.setCommand(a.headerFooter, [this](int) { showWindow(headerFooterTag); });
}

// The windows go before the main window's children: they write into its
// editing area.
PaletteCommands::~PaletteCommands() = default;

void PaletteCommands::readLists() {
    if (listsRead()) return;
    frameList_ = std::make_unique<StoredList>(FramePalette::unreadList(context_));
    runCommand(context_.dialogs, [this] { frameList_->load(); });
    faceList_ = std::make_unique<StoredList>(FacePalette::unreadList(context_));
    runCommand(context_.dialogs, [this] { faceList_->load(); });
}

void PaletteCommands::createWindows() {
    if (windowsCreated()) return;
    readLists();
    // The palettes belong to the main window, so they stay above it.
    frame_ = std::make_unique<FramePalette>(context_, std::move(*frameList_), &w_);
    face_ = std::make_unique<FacePalette>(context_, std::move(*faceList_), &w_);
    frameList_.reset();
    faceList_.reset();
}

void PaletteCommands::showWindow(int tag) {
    QWidget* window = nullptr;
    switch (tag) {
    case framePaletteTag:
        window = &framePalette();
        break;
    case facePaletteTag:
        window = &facePalette();
        break;
    case headerFooterTag:
        window = &headerFooterWindow();
        break;
    default:
        return;
    }
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

FramePalette& PaletteCommands::framePalette() {
    createWindows();
    return *frame_;
}

FacePalette& PaletteCommands::facePalette() {
    createWindows();
    return *face_;
}

HeaderFooterWindow& PaletteCommands::headerFooterWindow() {
    createWindows();
    if (headerFooter_) return *headerFooter_;
    // The header and footer window reads nothing at start: it is made when
    // first shown. It is an ordinary window of its own; tool windows stay
    // above their parent, the main window, so the palettes come back above
    // it whenever it comes to the front.
    headerFooter_ = std::make_unique<HeaderFooterWindow>(context_);
    QObject::connect(
        qApp, &QGuiApplication::focusWindowChanged, headerFooter_.get(), [this](QWindow* focused) {
            if (!focused || focused != headerFooter_->windowHandle()) return;
            for (QWidget* palette :
                 {static_cast<QWidget*>(frame_.get()), static_cast<QWidget*>(face_.get())})
                if (palette->isVisible()) palette->raise();
        });
    return *headerFooter_;
}
