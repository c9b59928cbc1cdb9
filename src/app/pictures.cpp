#include "pictures.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QIconEngine>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <algorithm>
#include <memory>
#include <utility>

namespace pictures {

namespace {

// Renders an SVG drawing at the size asked for: a button at a device pixel
// ratio of 2 gets a drawing of twice the pixels, not a scaled-up picture.
class SvgIconEngine : public QIconEngine {
  public:
    explicit SvgIconEngine(QString path) : path_(std::move(path)) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        if (size.isEmpty()) return {};
        const QString key = QStringLiteral("mmedit:%1:%2x%3:%4")
                                .arg(path_)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(static_cast<int>(mode));
        QPixmap pm;
        if (QPixmapCache::find(key, &pm)) return pm;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        // The drawing is read once and drawn at every size asked for (a
        // window's icon is asked for at eight sizes as the window is made).
        if (!renderer_) renderer_ = std::make_shared<QSvgRenderer>(path_);
        QPainter p(&image);
        // Square drawings, centred in a rectangle of another shape.
        const int side = std::min(size.width(), size.height());
        renderer_->render(
            &p, QRectF((size.width() - side) / 2.0, (size.height() - side) / 2.0, side, side));
        p.end();
        pm = QPixmap::fromImage(std::move(image));
        if (mode == QIcon::Disabled && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            pm = QApplication::style()->generatedIconPixmap(QIcon::Disabled, pm, &option);
        }
        QPixmapCache::insert(key, pm);
        return pm;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap(rect.size() * ratio, mode, state);
        pm.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, pm);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
            sizes.append(QSize(side, side));
        return sizes;
    }

    QIconEngine* clone() const override {
        auto* e = new SvgIconEngine(path_);
        e->renderer_ = renderer_;
        return e;
    }
    QString key() const override { return QStringLiteral("mmedit-svg"); }

  private:
    QString path_;
    std::shared_ptr<QSvgRenderer> renderer_; // read on first use, shared with clones
};

QFont gothic(int px, bool bold = false) {
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}
} // namespace

QIcon programIcon() {
    return QIcon(new SvgIconEngine(QStringLiteral(":/icons/mmedit.svg")));
}

QIcon toolIcon(const QString& name) {
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    if (!QFile::exists(path)) return {};
    return QIcon(new SvgIconEngine(path));
}

QPixmap splashPicture() {
    QPixmap pm(303, 150);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 303, 150);
    g.setColorAt(0, QColor(0, 128, 128));
    g.setColorAt(1, QColor(0, 200, 200));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    p.setFont(gothic(22, true));
    p.drawText(QRect(0, 20, 303, 40), Qt::AlignCenter, QStringLiteral("「もるもる」"));
    p.setFont(gothic(16, true));
    p.drawText(QRect(0, 62, 303, 30), Qt::AlignCenter, QStringLiteral("メールマガジンエディタ"));
    p.setFont(gothic(12));
    p.drawText(QRect(0, 110, 303, 24), Qt::AlignCenter, QStringLiteral("MMEdit 1.2"));
    p.end();
    return pm;
}

} // namespace pictures
