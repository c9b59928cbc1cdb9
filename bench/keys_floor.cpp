// The floor of bench/keys.sh: a window at MMEdit's design size that does
// nothing with a key but fill one character cell, so that a key costs what
// the display connection, the event loop and one small paint and flush cost
// any Qt program on the machine. No editor can take a key for less.
#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

namespace {

class Cell : public QWidget {
  protected:
    void keyPressEvent(QKeyEvent*) override {
        ++keys_;
        update(QRect(10, 10, 8, 16));
    }
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.fillRect(e->rect(), keys_ % 2 ? Qt::black : Qt::white);
    }

  private:
    int keys_ = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Cell cell;
    cell.setWindowTitle(QStringLiteral("keys floor"));
    cell.resize(542, 493);
    cell.show();
    return app.exec();
}
