// Renders the program icon's SVG drawing to PNG files of the sizes the
// desktop's icon theme wants: iconrender DRAWING.svg OUTFOLDER SIZE...
// writes OUTFOLDER/SIZExSIZE.png for each size.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DRAWING.svg OUTFOLDER SIZE...\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    for (int k = 3; k < argc; ++k) {
        const int side = std::atoi(argv[k]);
        if (side < 1 || side > 4096) {
            std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[k]);
            return 2;
        }
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(0, 0, side, side));
        p.end();
        const std::string out =
            std::string(argv[2]) + "/" + std::to_string(side) + "x" + std::to_string(side) + ".png";
        if (!image.save(QString::fromLocal8Bit(out.c_str()), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], out.c_str());
            return 1;
        }
    }
    return 0;
}
