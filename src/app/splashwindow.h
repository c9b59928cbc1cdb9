// SplashWindow: the start-up splash window.
#pragma once

#include <QProgressBar>
#include <QWidget>

class QtDialogs;

class SplashWindow : public QWidget {
  public:
    // The steps of start-up, as the share of the bar each fills up to.
    enum class Step {
        mainWindowMade = 30, // the main window and its menus and tool bars
        settingsRead = 70,   // the settings file, applied to the window
        listsRead = 100,     // the palettes' lists: start-up is done
    };

    SplashWindow();
    QProgressBar* progressBar() const { return progressBar_; }
    // Fills the bar up to the step and shows it at once.
    void reach(Step step);
    // The splash window stays on top of every window: it hides before any
    // box or dialog of these dialogs shows, so that start-up never waits for
    // an answer that cannot be seen.
    void giveWayTo(QtDialogs& dialogs);

  private:
    QProgressBar* progressBar_;
};
