#include "pictures.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <utility>

namespace pictures {

namespace {

// Renders an SVG drawing at the size asked for: a button at a device pixel
// ratio of 2 gets a drawing of twice the pixels, not a scaled-up picture.
// The drawings are read by Qt's SVG image format plugin, which is loaded
// when the first icon is drawn, not at every start.
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
        // Square drawings, centred in a rectangle of another shape.
        const int side = std::min(size.width(), size.height());
        QImageReader reader(path_, "svg");
        reader.setAutoDetectImageFormat(false); // only the SVG plugin is asked (and loaded)
        reader.setScaledSize(QSize(side, side));
        QImage image = reader.read();
        if (image.isNull()) return {};
        if (image.size() != size) {
            QImage framed(size, QImage::Format_ARGB32_Premultiplied);
            framed.fill(Qt::transparent);
            QPainter p(&framed);
            p.drawImage(QPoint((size.width() - side) / 2, (size.height() - side) / 2), image);
            p.end();
            image = std::move(framed);
        }
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

    QIconEngine* clone() const override { return new SvgIconEngine(path_); }
    QString key() const override { return QStringLiteral("mmedit-svg"); }

  private:
    QString path_;
};
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
    // A picture made once (the program's name on a teal gradient, in the
    // proportional Gothic font), compiled in: drawing it at start would load
    // three fonts of its own.
    // Read as PNG only: a reader left to find the format itself loads every
    // image format plugin (and their libraries) to ask each of them first.
    QImageReader reader(QStringLiteral(":/images/splash.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace pictures
