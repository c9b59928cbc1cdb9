// TForm12: the start-up splash window.
#pragma once

#include <QProgressBar>
#include <QWidget>

class TForm12 : public QWidget {
  public:
    TForm12();
    QProgressBar* ProgressBar1;
    void advance(int by);
};
