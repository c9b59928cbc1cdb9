#include "previousfilewindow.h"

#include "pictures.h"

#include "platform/fonts.h"
#include "text/cp932.h"
#include "text/fileio.h"
#include "text/rtf.h"

#include <QColor>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFormat>
#include <QVBoxLayout>

#include <utility>
#include <vector>

namespace {

constexpr int kDesignWidth = 315;
constexpr int kDesignHeight = 351;
constexpr std::size_t kRecentFormats = 32;

// Code page 932 text as the viewer shows it: every line end (CR LF, CR or LF)
// one line break, invalid bytes and NUL as a visible substitute. (CR and LF
// are never part of a double-byte character, so line ends can be found in
// the bytes.)
QString plainTextOf(std::string_view bytes) {
    std::string lines;
    lines.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            lines += bytes[i];
            continue;
        }
        lines += '\n';
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    }
    QString text = cp932::decode(lines);
    text.replace(QChar(0), QChar(cp932::kInvalidSubstitute));
    return text;
}

QColor toColor(const rtf::Color& c) {
    return QColor(c.red, c.green, c.blue);
}

QTextCharFormat charFormatOf(const rtf::CharFormat& f) {
    QTextCharFormat out;
    if (f.bold) out.setFontWeight(QFont::Bold);
    out.setFontItalic(f.italic);
    out.setFontUnderline(f.underline);
    out.setFontStrikeOut(f.strikeOut);
    if (f.position == rtf::VerticalPosition::Superscript)
        out.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (f.position == rtf::VerticalPosition::Subscript)
        out.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    out.setFontPointSize(f.halfPoints / 2.0);
    if (f.color) out.setForeground(toColor(*f.color));
    if (f.background) out.setBackground(toColor(*f.background));
    if (!f.fontFamily.isEmpty()) out.setFontFamilies(QStringList{f.fontFamily});
    return out;
}

Qt::Alignment alignmentOf(rtf::Alignment a) {
    switch (a) {
    case rtf::Alignment::Center:
        return Qt::AlignHCenter;
    case rtf::Alignment::Right:
        return Qt::AlignRight;
    case rtf::Alignment::Justify:
        return Qt::AlignJustify;
    case rtf::Alignment::Left:
        break;
    }
    return Qt::AlignLeft;
}

void showRichText(QTextDocument& doc, const rtf::RichText& text) {
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    // Documents use few formats over and over: each is converted once.
    std::vector<std::pair<rtf::CharFormat, QTextCharFormat>> formats;
    auto formatOf = [&formats](const rtf::CharFormat& f) -> const QTextCharFormat& {
        for (const auto& known : formats)
            if (known.first == f) return known.second;
        if (formats.size() == kRecentFormats) formats.erase(formats.begin());
        formats.emplace_back(f, charFormatOf(f));
        return formats.back().second;
    };
    bool first = true;
    for (const rtf::Paragraph& p : text.paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(alignmentOf(p.alignment));
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block, QTextCharFormat());
        first = false;
        for (const rtf::Run& run : p.runs)
            cursor.insertText(run.text, formatOf(run.format));
    }
    cursor.endEditBlock();
}

} // namespace

PreviousFileWindow::PreviousFileWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TForm10"));
    setWindowTitle(QStringLiteral("前回のファイル"));
    setWindowIcon(pictures::programIcon());
    setAttribute(Qt::WA_QuitOnClose, false); // closing only hides it
    // The editor's fixed-pitch Japanese font: a plain-text issue shows its
    // columns as the editor lays them out.
    QFont font(QString::fromUtf8(fonts::kGothic));
    font.setPixelSize(12);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);

    viewer_ = new QTextEdit(this);
    viewer_->setObjectName(QStringLiteral("RichEdit1"));
    viewer_->setReadOnly(true);
    viewer_->setUndoRedoEnabled(false);
    viewer_->setAcceptRichText(false);
    viewer_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewer_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(viewer_);

    resize(kDesignWidth, kDesignHeight);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void PreviousFileWindow::load(const std::string& path) {
    // Read first: a file that cannot be read leaves the viewer as it was.
    const std::string bytes = fileio::readAll(path, kMaxShownBytes);
    if (rtf::isRichText(bytes)) {
        // Filled apart from the viewer (no layout runs while it fills), then
        // shown from its beginning.
        QTextDocument* old = viewer_->document();
        // The viewer deletes the document it made itself; one of ours goes here.
        const bool oldIsOurs = old->parent() == viewer_;
        auto* doc = new QTextDocument(viewer_);
        doc->setDefaultFont(old->defaultFont());
        doc->setUndoRedoEnabled(false);
        showRichText(*doc, rtf::read(bytes));
        viewer_->setDocument(doc);
        if (oldIsOurs) delete old;
    } else {
        // Plain text takes no format from what was shown before.
        viewer_->setCurrentCharFormat(QTextCharFormat());
        viewer_->setPlainText(plainTextOf(bytes));
    }
    viewer_->verticalScrollBar()->setValue(0);
    viewer_->horizontalScrollBar()->setValue(0);
}

bool PreviousFileWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) Q_EMIT activated();
    return QWidget::event(event);
}
