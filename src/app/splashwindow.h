// SplashWindow: the start-up splash window.
#pragma once

#include <QProgressBar>
#include <QWidget>

class SplashWindow : public QWidget {
  public:
    SplashWindow();
    QProgressBar* ProgressBar1;
    void advance(int by);
};
