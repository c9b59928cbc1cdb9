// The version window: the program's picture with its version, a button to
// the maker's home page and one to close. Made once, hidden, never destroyed.
#pragma once

#include <QDialog>

class Shell;
class QLabel;
class QPushButton;

class AboutBox : public QDialog {
    Q_OBJECT

  public:
    // The maker's home page.
    static const char* const kHomePage;

    AboutBox(Shell& shell, QWidget* parent = nullptr);

    // Shows the window (not modal) centred on the screen.
    void present();

    QLabel* versionLabel() const { return version_; }
    QPushButton* homePageButton() const { return homePage_; }
    QPushButton* closeButton() const { return close_; }

  private:
    Shell& shell_;
    QLabel* version_;
    QPushButton* homePage_;
    QPushButton* close_;
};
