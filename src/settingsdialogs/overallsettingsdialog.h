// The overall settings dialog ("全体基本設定", TAllCustom): the standing
// newsletter values and text limits, the behaviour options and the
// recent-file settings. Its OK ("いつもこれで！") stores them, writes the
// settings file at once and makes them the current document's values. The
// controls are filled once, when the dialog is made; afterwards they keep
// what the user typed, also through Cancel.
#pragma once

#include "settingsdialog.h"

#include <array>
#include <cstdint>

class QCheckBox;
class QTabWidget;

class OverallSettingsDialog : public SettingsDialog {
    Q_OBJECT

  public:
    OverallSettingsDialog(SettingsState& settings, Dialogs& dialogs, Shell& shell,
                          SettingsDialogHost& host, QWidget* parent = nullptr);

    // いつもこれで！: the controls into the standing values and the options,
    // the settings file written, the document's and new document's values
    // copied from the standing ones, the editor takes them; the dialog hides.
    // A failed write is reported and leaves the dialog open with what was
    // typed and the values in memory as they were.
    void confirm();
    // 参照: a file chosen in the open dialog goes into the folder box.
    void browse();
    // 履歴のクリア: the recent-file list is emptied (names and count) and
    // its menu entries hidden at once.
    void clearHistory();

  private:
    QWidget* newsletterPage();
    QWidget* behaviourPage();
    // The count box always shows the count bar's position.
    void showCount();
    // Filling at creation, in this order: texts, limits, options, count.
    void fill();

    struct OptionBox {
        QCheckBox* box;
        std::int32_t AppOptions::*field;
    };

    QTabWidget* pages_;
    Cp932LineEdit* title_;
    Cp932LineEdit* authorMail_;
    Cp932LineEdit* homeUrl_;
    Cp932LineEdit* authorName_;
    Cp932LineEdit* magazineId_;
    Cp932LineEdit* saveFolder_;
    Cp932LineEdit* issueDay_;
    Cp932LineEdit* launchDay_;
    NumberBar lineWidth_;
    NumberBar maxChars_;
    QLineEdit* count_;
    QScrollBar* countBar_;
    // In the order they are filled and stored.
    std::array<OptionBox, 10> options_{};
};
