// Stand-ins for the platform's dialogs and shell, behind interfaces so that
// tests can script the answers and see the requests.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <utility>

// Message boxes and the common dialogs. Qt's dialogs in the program; a scripted
// one in tests (no test may block on a modal dialog).
class Dialogs {
  public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum Button { Ok = 1, Cancel = 2, Yes = 4, No = 8 };

    virtual ~Dialogs() = default;

    // Returns the button chosen (Cancel when the box was closed).
    virtual Button messageBox(const QString& caption, const QString& text, Icon icon,
                              int buttons) = 0;
    // File names are bytes in the file system's encoding; empty when cancelled.
    virtual std::string openFileName(const QString& caption, const QString& filter,
                                     const std::string& folder) = 0;
    virtual std::string saveFileName(const QString& caption, const QString& filter,
                                     const std::string& suggested) = 0;
};

// Boxes and dialogs over the window the user works in: the program's active
// window (the main window, the header and footer window, a settings dialog),
// else the parent while it is shown; without either (during start-up, or
// hidden in the notification area) they are centred on the primary screen.
class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    // Runs before every box or dialog is shown (the splash window gets out of
    // its way); an empty function runs nothing.
    void setBeforeShowing(std::function<void()> hook) { beforeShowing_ = std::move(hook); }
    Button messageBox(const QString& caption, const QString& text, Icon icon, int buttons) override;
    std::string openFileName(const QString& caption, const QString& filter,
                             const std::string& folder) override;
    std::string saveFileName(const QString& caption, const QString& filter,
                             const std::string& suggested) override;

    // The window the next box or dialog belongs to, nullptr for none.
    QWidget* dialogParent() const;

  private:
    // dialogParent(), after running the hook.
    QWidget* prepare();

    QWidget* parent_;
    std::function<void()> beforeShowing_;
};

// The shell's open operation (addresses, the help page).
class Shell {
  public:
    virtual ~Shell() = default;
    virtual bool open(const QString& address) = 0;
};

class QtShell : public Shell {
  public:
    bool open(const QString& address) override;
};

// Opens the address through the shell; when nothing here opens it, says so
// in a box that shows the address, so that it can be copied. Returns whether
// it was opened.
bool openOrShowAddress(Shell& shell, Dialogs& dialogs, const QString& address);
