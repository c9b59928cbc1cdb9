// SplashWindow: the start-up splash window.
#pragma once

#include <QProgressBar>
#include <QWidget>

class QtDialogs;

class SplashWindow : public QWidget {
  public:
    SplashWindow();
    QProgressBar* ProgressBar1;
    void advance(int by);
    // The splash window stays on top of every window: it hides before any
    // box or dialog of these dialogs shows, so that start-up never waits for
    // an answer that cannot be seen.
    void giveWayTo(QtDialogs& dialogs);
};
