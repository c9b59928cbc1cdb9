// SplashWindow: the start-up splash window.
#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

class QtDialogs;

// The window is drawn whole by itself (its frame, the picture, the line of
// text and the progress bar as the style draws one), without child widgets
// to make, lay out and polish: it is the first window of every start.
class SplashWindow : public QWidget {
  public:
    // The steps of start-up, as the share of the bar each fills up to.
    enum class Step {
        mainWindowMade = 30, // the main window and its menus and tool bars
        settingsRead = 70,   // the settings file, applied to the window
        listsRead = 100,     // the palettes' lists: start-up is done
    };

    SplashWindow();
    // How far the bar is filled, out of 100.
    int progress() const { return progress_; }
    static constexpr int kFullBar = 100;
    // Fills the bar up to the step and shows it at once.
    void reach(Step step);
    // The splash window stays on top of every window: it hides before any
    // box or dialog of these dialogs shows, so that start-up never waits for
    // an answer that cannot be seen.
    void giveWayTo(QtDialogs& dialogs);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QPixmap picture_;
    QFont textFont_;
    int progress_ = 0;
};

// The splash window of one start-up: made and shown at the first step the
// start reaches after running for showAfterMs (the program shows it from
// the start: 0); from then on it fills its bar as the steps come.
class StartupSplash {
  public:
    // elapsedMs tells how long the start has run. The window gives way to
    // the dialogs' boxes: it hides before one shows and is not shown after.
    StartupSplash(QtDialogs& dialogs, std::function<qint64()> elapsedMs, qint64 showAfterMs = 0);
    ~StartupSplash();
    StartupSplash(const StartupSplash&) = delete;
    StartupSplash& operator=(const StartupSplash&) = delete;

    // Runs once when the splash window's time is over: when it gives way to
    // a box or when the start is done (this object ends), whichever comes
    // first. The program gives the application its icon then: the splash
    // window shows none, and drawing one for it would only slow the start.
    void setWhenOver(std::function<void()> over) { whenOver_ = std::move(over); }

    // Before the first step: the window with an empty bar, if it is time.
    void begin();
    void reach(SplashWindow::Step step);
    // The window, or nullptr while none is shown.
    SplashWindow* window() const { return window_; }

  private:
    // Makes and shows the window when the start has run long enough.
    bool shown();
    void over();

    QtDialogs& dialogs_;
    std::function<qint64()> elapsedMs_;
    qint64 showAfterMs_;
    SplashWindow* window_ = nullptr;
    bool gaveWay_ = false;
    std::function<void()> whenOver_;
};
