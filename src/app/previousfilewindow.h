// The previous-file window: a read-only viewer beside the main window with
// the file edited before the current one.
#pragma once

#include <QWidget>

#include <string>

class PreviousFileWindow : public QWidget {
    Q_OBJECT

  public:
    explicit PreviousFileWindow(QWidget* parent = nullptr);

    // Shows the file: rich text formatted, any other file as code page 932
    // plain text. Throws MMEditError when it cannot be read; the viewer then
    // keeps what it showed.
    void load(const std::string& path);

  Q_SIGNALS:
    // The window became the active window.
    void activated();
};
