#include "statuspanels.h"

#include "text/lineview.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

StatusPanel::StatusPanel(int designWidth, QWidget* parent)
    : QFrame(parent), designWidth_(designWidth) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The panel paints its own background: a new count repaints the panel
    // alone, not the status bar and the window under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

StatusPanel::~StatusPanel() = default;

namespace {
bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
} // namespace

qsizetype StatusPanel::pieceEnd(const QString& text, qsizetype i) {
    qsizetype e = i + 1;
    if (!isDigit(text[i]))
        while (e < text.size() && !isDigit(text[e]))
            ++e;
    return e;
}

qreal StatusPanel::textLeft() const {
    return contentsRect().left() + fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
}

void StatusPanel::setText(const QString& text) {
    if (text == text_) return;
    // The pieces the two texts begin with stay where they are: the rest is
    // repainted (a count one up redraws its last digit), from a little left
    // of it for ink that reaches past a glyph's advance.
    qsizetype same = 0;
    while (same < text.size() && same < text_.size()) {
        const qsizetype e = pieceEnd(text, same);
        if (pieceEnd(text_, same) != e ||
            QStringView(text).sliced(same, e - same) != QStringView(text_).sliced(same, e - same))
            break;
        same = e;
    }
    text_ = text;
    placedKnown_ = false;
    qreal x = textLeft();
    for (qsizetype i = 0; i < same; i = pieceEnd(text_, i))
        x += pieceAt(i).advance;
    if (!measuredKnown_ || !hasMeasuredForm(text_)) {
        // Another form of text: a new layout only for another size.
        const bool known = measuredKnown_;
        const QSize before = {std::max(designWidth_, textSize_.width()), textSize_.height()};
        if (!known || sizeHint() != before) updateGeometry();
    }
    const QRect r = contentsRect();
    const int from = std::max(r.left(), static_cast<int>(std::floor(x)) - inkReach());
    update(QRect(QPoint(from, r.top()), r.bottomRight()));
}

int StatusPanel::inkReach() const {
    return fontMetrics().height() / 2;
}

bool StatusPanel::hasMeasuredForm(const QString& text) const {
    // widestForm(text) == measured_, without making the form.
    if (text.size() != measured_.size()) return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] != measured_[i] && !(isDigit(text[i]) && measured_[i] == widestDigit_))
            return false;
    return true;
}

QString StatusPanel::widestForm(const QString& text) const {
    if (widestDigit_.isNull()) {
        const QFontMetrics fm = fontMetrics();
        widestDigit_ = QLatin1Char('0');
        for (char d = '1'; d <= '9'; ++d)
            if (fm.horizontalAdvance(QLatin1Char(d)) > fm.horizontalAdvance(widestDigit_))
                widestDigit_ = QLatin1Char(d);
    }
    QString form = text;
    for (QChar& c : form)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) c = widestDigit_;
    return form;
}

QSize StatusPanel::sizeHint() const {
    const QString form = widestForm(text_);
    if (!measuredKnown_ || form != measured_) {
        if (!ruler_) ruler_ = std::make_unique<QLabel>();
        ruler_->setFont(font());
        ruler_->setFrameStyle(frameStyle());
        ruler_->setLineWidth(lineWidth());
        ruler_->setText(form);
        textSize_ = ruler_->sizeHint();
        measured_ = form;
        measuredKnown_ = true;
    }
    return {std::max(designWidth_, textSize_.width()), textSize_.height()};
}

void StatusPanel::paintEvent(QPaintEvent* e) {
    // As a framed label draws its text: left and vertically centred, half an
    // "x" in from the frame. The text is drawn in pieces shaped once and
    // kept: each digit, and each run of other characters, so that a new
    // count is drawn without shaping text again.
    QPainter p(this);
    const QRect r = contentsRect();
    // The window's background, as the status bar under the panel shows it;
    // a new text repaints only the inside of the frame.
    p.fillRect(e->rect(), palette().brush(QPalette::Window));
    if (!r.contains(e->rect())) drawFrame(&p);
    if (text_.isEmpty()) return;
    placeText();
    qreal x = textLeft();
    const QPointF baseline(0, r.top() + (r.height() - placement_->height) / 2 + placement_->ascent);
    p.setPen(palette().color(foregroundRole()));
    // Only the pieces whose ink may reach into the repainted part.
    const int reach = inkReach();
    const qreal left = e->rect().left() - reach, right = e->rect().right() + 1 + reach;
    for (qsizetype i = 0; i < text_.size() && x < right; i = pieceEnd(text_, i)) {
        const Piece& piece = pieceAt(i);
        if (x + piece.advance > left)
            for (const QGlyphRun& run : piece.glyphs)
                p.drawGlyphRun(baseline + QPointF(x, 0), run);
        x += piece.advance;
    }
}

void StatusPanel::placeText() const {
    if (placedKnown_) return;
    placedKnown_ = true;
    QString form = text_;
    for (QChar& c : form)
        if (isDigit(c)) c = QLatin1Char('0');
    if (placement_ && placement_->form == form) return;
    Placement pl;
    pl.form = form;
    QTextLayout layout(form, font());
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    pl.ascent = line.ascent();
    pl.height = qRound(line.height());
    pl.digitFont.assign(static_cast<std::size_t>(form.size()), -1);
    for (qsizetype i = 0; i < form.size(); ++i) {
        if (!isDigit(form[i])) continue;
        const QList<QGlyphRun> runs = layout.glyphRuns(static_cast<int>(i), 1);
        if (runs.isEmpty()) continue;
        const QRawFont raw = runs.front().rawFont();
        const auto at = std::find(pl.fonts.begin(), pl.fonts.end(), raw);
        pl.digitFont[static_cast<std::size_t>(i)] = static_cast<int>(at - pl.fonts.begin());
        if (at == pl.fonts.end()) pl.fonts.push_back(raw);
    }
    // Digits are kept per font of the placement.
    if (!placement_ || placement_->fonts != pl.fonts) digits_.clear();
    placement_ = std::move(pl);
}

const StatusPanel::Piece& StatusPanel::pieceAt(qsizetype i) const {
    if (!isDigit(text_[i])) return pieceOf(text_.mid(i, pieceEnd(text_, i) - i));
    placeText();
    const int font = placement_->digitFont[static_cast<std::size_t>(i)];
    if (font < 0) return pieceOf(text_.mid(i, 1));
    const auto key = std::make_pair(font, text_[i].unicode());
    auto it = digits_.find(key);
    if (it != digits_.end()) return it->second;
    // The digit in the font the whole text draws it in.
    const QRawFont& raw = placement_->fonts[static_cast<std::size_t>(font)];
    const QList<quint32> glyph = raw.glyphIndexesForString(QString(text_[i]));
    Piece piece;
    if (glyph.size() == 1) {
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyph);
        run.setPositions({QPointF(0, 0)});
        piece.glyphs = {run};
        piece.advance = raw.advancesForGlyphIndexes(glyph).front().x();
    } else {
        piece = pieceOf(text_.mid(i, 1));
    }
    return digits_.emplace(key, std::move(piece)).first->second;
}

const StatusPanel::Piece& StatusPanel::pieceOf(const QString& text) const {
    auto it = pieces_.find(text);
    if (it != pieces_.end()) return it->second;
    if (pieces_.size() > 64) pieces_.clear(); // the texts of the panel are few
    QTextLayout layout(text, font());
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    Piece piece;
    // From the baseline at the left edge.
    for (QGlyphRun run : layout.glyphRuns()) {
        QList<QPointF> at = run.positions();
        for (QPointF& pt : at)
            pt.ry() -= line.ascent();
        run.setPositions(at);
        piece.glyphs.push_back(run);
    }
    piece.advance = QFontMetricsF(font()).horizontalAdvance(text);
    return pieces_.emplace(text, std::move(piece)).first->second;
}

void StatusPanel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
        widestDigit_ = QChar();
        measuredKnown_ = false;
        pieces_.clear();
        placement_.reset();
        placedKnown_ = false;
        digits_.clear();
        updateGeometry();
    }
    QFrame::changeEvent(e);
}

StatusPanels::StatusPanels(QStatusBar* bar) {
    struct Design {
        int width;
        const char* text;
    };
    static constexpr Design kDesign[kPanelCount] = {{50, "Caps"},    {50, "上書き"},
                                                    {50, "Num"},     {80, "１行の文字数"},
                                                    {100, "文字数"}, {50, "変更"}};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* l = new StatusPanel(kDesign[i].width, bar);
        l->setText(QString::fromUtf8(kDesign[i].text));
        l->setObjectName(QStringLiteral("Panel%1").arg(i));
        l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        bar->addWidget(l);
        labels_[static_cast<std::size_t>(i)] = l;
    }
}

void StatusPanels::showCapsLock(bool on) {
    label(capsLock)->setText(on ? QStringLiteral("CapsOn") : QStringLiteral("CapsOff"));
}

void StatusPanels::showNumLock(bool on) {
    label(numLock)->setText(on ? QStringLiteral("NumOn") : QStringLiteral("NumOff"));
}

void StatusPanels::showInsertMode(bool insert) {
    label(insertMode)->setText(insert ? QStringLiteral("挿入") : QStringLiteral("上書き"));
}

void StatusPanels::showTotals(const TextTotals& t) {
    // A key changes one total at most: only a changed one is written out.
    if (!shownTotals_ || shownTotals_->lines != t.lines)
        label(lineTotal)->setText(QStringLiteral("総行数") + QString::number(t.lines));
    if (!shownTotals_ || shownTotals_->characters != t.characters)
        label(characterTotal)->setText(QStringLiteral("総文字数=") + QString::number(t.characters));
    shownTotals_ = t;
}

void StatusPanels::showCounting() {
    shownTotals_.reset();
    label(lineTotal)->setText(QStringLiteral("総行数(計算中)"));
    label(characterTotal)->setText(QStringLiteral("総文字数=(計算中)"));
}

void StatusPanels::showModified(bool modified) {
    label(modifiedMark)->setText(modified ? QStringLiteral("変更あり") : QString());
}

namespace {
// The design width of the send check's panel.
constexpr int kMailCheckPanelWidth = 100;
constexpr int kMailCheckPanelMinimum = 30;
} // namespace

MailCheckPanel::MailCheckPanel(QStatusBar* bar) : StatusPanel(kMailCheckPanelWidth, bar) {
    setObjectName(QStringLiteral("MailCheckPanel"));
    // It gives way first when the bar is short of room: the totals keep
    // their digits.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setCursor(Qt::PointingHandCursor);
    showFindings(0, true);
    bar->addWidget(this);
}

void MailCheckPanel::showFindings(std::size_t count, bool known) {
    // Asked after every change: the text is made only for a new count.
    if (shown_ && count == shownCount_ && known == shownKnown_) return;
    shown_ = true;
    shownCount_ = count;
    shownKnown_ = known;
    const QString text = known ? QStringLiteral("送信チェック %1").arg(count)
                               : QStringLiteral("送信チェック(計算中)");
    if (text != this->text()) {
        setText(text);
        setToolTip(text + QStringLiteral(" (クリックすると一覧を開きます)"));
    }
}

QSize MailCheckPanel::minimumSizeHint() const {
    return {kMailCheckPanelMinimum, sizeHint().height()};
}

void MailCheckPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) Q_EMIT clicked();
    StatusPanel::mousePressEvent(e);
}
