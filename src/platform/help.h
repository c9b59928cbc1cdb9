// The help page: help/index.html among the program's data files, shown in a
// window of the program at an anchor per help keyword. Links out of the page
// go to the desktop through the shell.
#pragma once

#include <QString>
#include <QWidget>

#include <string>

class QTextBrowser;
class QUrl;
class Dialogs;
class Shell;

// The window that shows the help page. There is one: it is made on first use
// as a window of the program's outermost window and kept while that lives.
class HelpWindow : public QWidget {
    Q_OBJECT

  public:
    explicit HelpWindow(QWidget* parent);
    // The help window, nullptr while none is open.
    static HelpWindow* current();
    QTextBrowser* browser() const { return browser_; }
    // Links that leave the page go through this shell; one it cannot open is
    // told through these dialogs.
    void setDesktop(Shell& shell, Dialogs& dialogs) {
        shell_ = &shell;
        dialogs_ = &dialogs;
    }
    // Shows the window with the page at the anchor the address names.
    void showPage(const QUrl& address);

  private:
    void follow(const QUrl& link);

    // The first time it is shown: over the middle of the window it belongs
    // to, kept on that window's screen.
    void placeOverOwner();

    QTextBrowser* browser_;
    Shell* shell_ = nullptr;
    Dialogs* dialogs_ = nullptr;
    bool placed_ = false;
};

// Shows the help page (the path of help/index.html that FileLocations::dataFile
// gives) at the topic of the keyword (the top when empty), in the help window
// of near's outermost window (a window of its own without one). Throws
// MMEditError when the help page is missing.
void showHelp(Shell& shell, Dialogs& dialogs, const std::string& page, const QString& keyword = {},
              QWidget* near = nullptr);
// The anchor of a help keyword ("" for the contents).
QString helpAnchor(const QString& keyword);
