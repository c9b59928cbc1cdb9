#include "splashwindow.h"

#include "pictures.h"

#include "platform/dialogs.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QFrame>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>

#include <utility>

namespace {
// The window and its parts, in pixels.
constexpr int kWidth = 311;
constexpr int kHeight = 196;
constexpr QPoint kPictureAt(4, 4);
constexpr QPoint kTextAt(80, 160);
constexpr QRect kBar(1, kHeight - 16 - 1, kWidth - 2, 16);
} // namespace

SplashWindow::SplashWindow()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(pictures::splashPicture()),
      textFont_(fonts::installedFamily(QString::fromUtf8(fonts::kProportional))) {
    setObjectName(QStringLiteral("TForm12"));
    setFixedSize(kWidth, kHeight);
    textFont_.setPixelSize(12);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void SplashWindow::reach(Step step) {
    progress_ = static_cast<int>(step);
    repaint();
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // A plain box of one pixel around the whole window.
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.frameShape = QFrame::Box;
    frame.lineWidth = 1;
    frame.midLineWidth = 0;
    style()->drawControl(QStyle::CE_ShapedFrame, &frame, &p, this);
    p.drawPixmap(kPictureAt, picture_);
    // The text as a label of its own size shows it: left, centred on the line.
    p.setFont(textFont_);
    const QString text = QStringLiteral("フォーム＆データ読み込み中・・・");
    const QFontMetrics m(textFont_);
    const QRect textBox(
        kTextAt,
        m.boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::AlignVCenter, text).size());
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, text);
    // The bar, without its text, as a progress bar of that place shows it.
    QStyleOptionProgressBar bar;
    bar.initFrom(this);
    bar.rect = kBar;
    bar.state |= QStyle::State_Horizontal;
    bar.minimum = 0;
    bar.maximum = kFullBar;
    bar.progress = progress_;
    bar.textAlignment = Qt::AlignLeft;
    bar.textVisible = false;
    // A bar widget would clip its drawing to itself: the style draws a
    // shadow line above the bar's rectangle.
    p.setClipRect(kBar);
    style()->drawControl(QStyle::CE_ProgressBar, &bar, &p, this);
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
