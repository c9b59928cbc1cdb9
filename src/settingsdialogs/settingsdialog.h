// What the two settings dialogs share: how they reach the main window, their
// window (fixed size, only a close box, above the program's windows, centred
// when first shown, never destroyed by closing), their number boxes with
// scroll bars, and the telling of refused input.
#pragma once

#include "settings/settings.h"

#include <QDialog>
#include <QLineEdit>
#include <QScrollBar>
#include <QSize>
#include <QString>
#include <QStringList>

#include <string>

class Cp932LineEdit;
class Dialogs;
class QBoxLayout;
class QLabel;
class QPlainTextEdit;
class QStatusBar;
class Shell;

// What the settings dialogs ask of the main window.
class SettingsDialogHost {
  public:
    virtual ~SettingsDialogHost() = default;
    // The document's values take effect in the editor at once: line width,
    // character limit and font.
    virtual void applyDocumentValues() = 0;
    // The recent-file entries of the File menu follow the list as it stands.
    virtual void updateHistoryMenu() = 0;
    // The main window is shown (again) and brought to the front.
    virtual void showMainWindow() = 0;
    // The editing font, as the settings file stores it.
    virtual SettingsFont editorFont() const = 0;
};

// A read-only number box beside a scroll bar. The box shows the bar's
// position (held to shownMax) whenever the bar moves; filling sets the box to
// the value and the bar to the value held to its range, so a box may show a
// value out of range until the bar moves.
class NumberBar {
  public:
    NumberBar() = default;
    NumberBar(QLineEdit* number, QScrollBar* bar, int shownMax);
    void fill(int value);
    int value() const { return bar_->value(); }
    QLineEdit* number() const { return number_; }
    QScrollBar* bar() const { return bar_; }

  private:
    QLineEdit* number_ = nullptr;
    QScrollBar* bar_ = nullptr;
};

// The margins and spacing of the controls inside a group box.
void compactGroup(QBoxLayout* layout);

// The help keyword of both dialogs.
QString settingsHelpKeyword();

class SettingsDialog : public QDialog {
    Q_OBJECT

  public:
    // The window is a child of the main window (parent), so it stays above
    // the program's windows while the main window stays usable.
    SettingsDialog(SettingsState& settings, Dialogs& dialogs, Shell& shell,
                   SettingsDialogHost& host, QWidget* parent);

    // Shows the dialog without blocking: centred on the screen the first
    // time, where the user left it afterwards.
    void showDialog();

    // Cancel: hides the dialog and shows the main window. Also the close box
    // and Esc.
    void cancel();
    // HELP!: the help page at the settings topic.
    void help();

    void reject() override;

  protected:
    // One of the dialog's own texts.
    static QString caption(const char* utf8) { return QString::fromUtf8(utf8); }
    // Window caption, object name, font, frame and the design size of the
    // client area (grown where the fonts here need more room).
    void setUpWindow(const char* objectName, const char* title, QSize designSize);
    // A text box whose refused input is told in a message box.
    Cp932LineEdit* textBox(const char* objectName);
    // A read-only number box and its scroll bar from min to max, starting at max.
    NumberBar numberBar(const char* numberName, const char* barName, int min, int max,
                        int pageStep);
    QLabel* label(const char* text);
    // A label above its box.
    void addField(QBoxLayout* into, const char* labelText, QWidget* box);
    // A label, the number box followed by its unit, and the bar below.
    void addNumberBar(QBoxLayout* into, const char* labelText, const NumberBar& bar,
                      const char* unitText);
    // An information text of lines.
    QPlainTextEdit* infoText(const char* objectName, const QStringList& lines, bool readOnly);
    QStatusBar* statusBar();
    // Hides the dialog and shows the main window.
    void finish();

    SettingsState& s_;
    Dialogs& dialogs_;
    Shell& shell_;
    SettingsDialogHost& host_;

  private:
    void tellRefused(const QString& message);

    QSize designSize_;
    bool shownBefore_ = false;
};
