#include "splashwindow.h"

#include "pictures.h"

#include "platform/dialogs.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QScreen>

#include <utility>

SplashWindow::SplashWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TForm12"));
    setFixedSize(311, 196);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setGeometry(0, 0, 311, 196);
    auto* image = new QLabel(panel);
    image->setPixmap(pictures::splashPicture());
    image->setGeometry(4, 4, 303, 150);
    auto* label = new QLabel(QStringLiteral("フォーム＆データ読み込み中・・・"), panel);
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(12);
    label->setFont(f);
    label->move(80, 160);
    label->adjustSize();
    progressBar_ = new QProgressBar(panel);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setGeometry(1, 196 - 16 - 1, 309, 16);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void SplashWindow::reach(Step step) {
    progressBar_->setValue(static_cast<int>(step));
    repaint();
}

void SplashWindow::giveWayTo(QtDialogs& dialogs) {
    dialogs.setBeforeShowing([splash = QPointer<SplashWindow>(this)] {
        if (splash) splash->hide();
    });
}

StartupSplash::StartupSplash(QtDialogs& dialogs, std::function<qint64()> elapsedMs,
                             qint64 showAfterMs)
    : dialogs_(dialogs), elapsedMs_(std::move(elapsedMs)), showAfterMs_(showAfterMs) {
    // A start-up box must not be hidden behind the window; once one has
    // shown, the window stays away for the rest of the start.
    dialogs_.setBeforeShowing([this] {
        gaveWay_ = true;
        if (window_) window_->hide();
        over();
    });
}

StartupSplash::~StartupSplash() {
    dialogs_.setBeforeShowing({});
    delete window_;
    over();
}

void StartupSplash::over() {
    if (auto run = std::exchange(whenOver_, {})) run();
}

bool StartupSplash::shown() {
    if (!window_ && !gaveWay_ && elapsedMs_() >= showAfterMs_) {
        window_ = new SplashWindow;
        window_->show();
        window_->repaint();
        QApplication::processEvents();
    }
    return window_ != nullptr;
}

void StartupSplash::begin() {
    shown();
}

void StartupSplash::reach(SplashWindow::Step step) {
    if (shown()) window_->reach(step);
}
