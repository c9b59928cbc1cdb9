#include "pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pictures {

namespace {
QFont gothic(int px, bool bold = false) {
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}
} // namespace

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0, 128, 128));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
        p.setPen(Qt::white);
        p.setFont(gothic(size * 2 / 3, true));
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("M"));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon buttonGlyph(const QString& label, const QColor& color) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(color.darker(140));
    p.setBrush(color.lighter(170));
    p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 4, 4);
    p.setPen(color.darker(200));
    p.setFont(gothic(label.size() > 1 ? 10 : 14, true));
    p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, label);
    p.end();
    return QIcon(pm);
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
