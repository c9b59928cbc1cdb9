// The previous-file window: a read-only viewer beside the main window with
// the file edited before the current one.
#pragma once

#include <QWidget>

#include <cstddef>
#include <string>

class QTextEdit;

class PreviousFileWindow : public QWidget {
    Q_OBJECT

  public:
    // The largest file the viewer shows (a newsletter is some ten
    // kilobytes); a larger one is refused as too large rather than holding
    // the program up for seconds while the viewer takes it in.
    static constexpr std::size_t kMaxShownBytes = std::size_t{4} << 20;

    explicit PreviousFileWindow(QWidget* parent = nullptr);

    // Shows the file: rich text formatted, any other file as code page 932
    // plain text. Throws MMEditError when it cannot be read ("ファイル %s
    // は開けません"; "ファイル %s は大きすぎて開けません" past kMaxShownBytes);
    // the viewer then keeps what it showed.
    void load(const std::string& path);

    // The viewer (object name RichEdit1).
    QTextEdit* viewer() const { return viewer_; }

  Q_SIGNALS:
    // The window became the active window.
    void activated();

  protected:
    bool event(QEvent* event) override;

  private:
    QTextEdit* viewer_;
};
