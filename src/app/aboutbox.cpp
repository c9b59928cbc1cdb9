#include "aboutbox.h"

#include "pictures.h"

#include "platform/dialogs.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QFont gothic(int px, bool bold) {
    QFont f(u("ＭＳ Ｐゴシック"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

// The window's design size and the picture's.
constexpr int kWidth = 309;
constexpr int kHeight = 229;
constexpr int kPictureWidth = 300;
constexpr int kPictureHeight = 150;
constexpr int kMargin = (kWidth - kPictureWidth) / 2;
constexpr int kButtonHeight = 28;
// Where the version stands on the picture.
constexpr int kVersionLeft = 120;
constexpr int kVersionTop = 76;

// The program's picture, with room for the version in its middle.
QPixmap picture() {
    QPixmap pm(kPictureWidth, kPictureHeight);
    QPainter p(&pm);
    QLinearGradient g(0, 0, kPictureWidth, kPictureHeight);
    g.setColorAt(0, QColor(0, 128, 128));
    g.setColorAt(1, QColor(0, 200, 200));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    p.setFont(gothic(22, true));
    p.drawText(QRect(0, 14, kPictureWidth, 34), Qt::AlignCenter, u("「もるもる」"));
    p.setFont(gothic(16, true));
    p.drawText(QRect(0, 44, kPictureWidth, 26), Qt::AlignCenter, u("メールマガジンエディタ"));
    p.setFont(gothic(12, false));
    p.drawText(QRect(0, kPictureHeight - 30, kPictureWidth, 20), Qt::AlignCenter, u("MMEdit"));
    p.end();
    return pm;
}

} // namespace

const char* const AboutBox::kHomePage = "https://www.amberlane.jp/";

AboutBox::AboutBox(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), shell_(shell) {
    setObjectName(QStringLiteral("TAboutBox"));
    setWindowTitle(u("バージョン情報"));
    setWindowIcon(pictures::programIcon());
    setModal(false);
    setFixedSize(kWidth, kHeight);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(picture());
    image->setGeometry(kMargin, kMargin, kPictureWidth, kPictureHeight);

    version_ = new QLabel(u("Version"), image);
    version_->setObjectName(QStringLiteral("Label2"));
    version_->setFont(gothic(16, true));
    version_->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    version_->move(kVersionLeft, kVersionTop);
    // The design text gives way to the version when the window is made.
    version_->setText(QStringLiteral("1.2"));
    version_->adjustSize();

    const int buttonsTop = kMargin + kPictureHeight;
    homePage_ = new QPushButton(u("Amberlaneホームページに行く"), this);
    homePage_->setObjectName(QStringLiteral("Button2"));
    homePage_->setGeometry(kMargin, buttonsTop, kPictureWidth, kButtonHeight);
    close_ = new QPushButton(u("閉じる"), this);
    close_->setObjectName(QStringLiteral("Button1"));
    close_->setGeometry(kMargin, buttonsTop + kButtonHeight + 6, kPictureWidth, kButtonHeight);
    close_->setDefault(true);

    connect(homePage_, &QPushButton::clicked, this, [this] {
        shell_.open(QString::fromLatin1(kHomePage));
        hide();
    });
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
}

void AboutBox::present() {
    if (!isVisible()) {
        if (const QScreen* sc = QGuiApplication::primaryScreen())
            move(sc->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        show();
    }
    raise();
    activateWindow();
}
