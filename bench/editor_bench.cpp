// The text control with a 10 MB document: opening (bytes in, laid out, first
// paint), one typed key with its repaint, and a page of scrolling, next to
// QPlainTextEdit on the same text.
#include "sample_text.h"

#include "common/cp932.h"
#include "editor/extmemo.h"
#include "editor/extrichedit.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <benchmark/benchmark.h>

namespace {

const std::string& bigText() {
    static const std::string t = sampleJapaneseText(10 << 20);
    return t;
}

QFont editorFont() {
    QFont f(QStringLiteral("IPAGothic"));
    f.setPixelSize(16);
    return f;
}

// Paints a widget's viewport into an image, as a screen update would.
void paint(QWidget* w) {
    QImage img(w->size(), QImage::Format_RGB32);
    w->render(&img);
    benchmark::DoNotOptimize(img.bits());
}

void BM_EditorOpen10MB(benchmark::State& state) {
    for (auto _ : state) {
        TCustomExtRichEdit e;
        e.SetFont(editorFont());
        e.resize(800, 600);
        e.HandleNeeded();
        e.SetText(bigText());
        paint(e.viewport());
    }
}
BENCHMARK(BM_EditorOpen10MB)->Unit(benchmark::kMillisecond);

void BM_PlainTextEditOpen10MB(benchmark::State& state) {
    const QString text = cp932::decode(bigText());
    for (auto _ : state) {
        QPlainTextEdit e;
        e.setFont(editorFont());
        e.resize(800, 600);
        e.setPlainText(text);
        paint(e.viewport());
    }
}
BENCHMARK(BM_PlainTextEditOpen10MB)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_EditorKeyInMiddle(benchmark::State& state) {
    TCustomExtRichEdit e;
    e.SetFont(editorFont());
    e.resize(800, 600);
    e.HandleNeeded();
    e.SetText(bigText());
    e.SetSelStart(static_cast<int>(bigText().size() / 2));
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent bs(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    bool typed = false;
    e.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        QApplication::sendEvent(&e, typed ? &bs : &a);
        typed = !typed;
        // The screen update: only what the key marked dirty is painted.
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_EditorKeyInMiddle)->Unit(benchmark::kMicrosecond);

// The key alone: edit, re-layout and totals, without the screen update.
void BM_EditorKeyInMiddleNoPaint(benchmark::State& state) {
    TCustomExtRichEdit e;
    e.SetFont(editorFont());
    e.resize(800, 600);
    e.HandleNeeded();
    e.SetText(bigText());
    e.SetSelStart(static_cast<int>(bigText().size() / 2));
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent bs(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    bool typed = false;
    for (auto _ : state) {
        QApplication::sendEvent(&e, typed ? &bs : &a);
        typed = !typed;
        benchmark::DoNotOptimize(e.totals());
    }
}
BENCHMARK(BM_EditorKeyInMiddleNoPaint)->Unit(benchmark::kMicrosecond);

void BM_PlainTextEditKeyInMiddle(benchmark::State& state) {
    QPlainTextEdit e;
    e.setFont(editorFont());
    e.resize(800, 600);
    e.setPlainText(cp932::decode(bigText()));
    QTextCursor c(e.document());
    c.setPosition(e.document()->characterCount() / 2);
    e.setTextCursor(c);
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent bs(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    bool typed = false;
    e.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        QApplication::sendEvent(&e, typed ? &bs : &a);
        typed = !typed;
        // The screen update: only what the key marked dirty is painted.
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PlainTextEditKeyInMiddle)->Unit(benchmark::kMicrosecond);

void BM_EditorScrollPage(benchmark::State& state) {
    TCustomExtRichEdit e;
    e.SetFont(editorFont());
    e.resize(800, 600);
    e.HandleNeeded();
    e.SetText(bigText());
    int v = 0;
    for (auto _ : state) {
        v = (v + e.verticalScrollBar()->pageStep()) % std::max(1, e.verticalScrollBar()->maximum());
        e.verticalScrollBar()->setValue(v);
        paint(e.viewport());
    }
}
BENCHMARK(BM_EditorScrollPage)->Unit(benchmark::kMicrosecond);

void BM_PlainTextEditScrollPage(benchmark::State& state) {
    QPlainTextEdit e;
    e.setFont(editorFont());
    e.resize(800, 600);
    e.setPlainText(cp932::decode(bigText()));
    int v = 0;
    for (auto _ : state) {
        v = (v + e.verticalScrollBar()->pageStep()) % std::max(1, e.verticalScrollBar()->maximum());
        e.verticalScrollBar()->setValue(v);
        paint(e.viewport());
    }
}
BENCHMARK(BM_PlainTextEditScrollPage)->Unit(benchmark::kMicrosecond);

// A full window of newsletter text with every mark on, painted whole.
void BM_ExtMemoPaintAllMarks(benchmark::State& state) {
    TExtMemo m;
    m.SetFont(editorFont());
    m.resize(800, 600);
    m.EditArea().Margin().SetLeft(10);
    for (TEditSymbol* s : {&m.EditMarks().esCrLf, &m.EditMarks().esCtrl, &m.EditMarks().esDSp,
                           &m.EditMarks().esSSp, &m.EditMarks().esTab, &m.EditMarks().esEot})
        s->SetEnabled(true);
    m.EditMarks().lmWordWrap.SetEnabled(true);
    m.EditArea().SetLineLength(70);
    m.SetText(bigText());
    m.verticalScrollBar()->setValue(1000);
    for (auto _ : state)
        paint(m.viewport());
}
BENCHMARK(BM_ExtMemoPaintAllMarks)->Unit(benchmark::kMicrosecond);

// A key in the middle of 10 MB in the editing area with every mark on,
// with its screen update.
void BM_ExtMemoKeyInMiddle(benchmark::State& state) {
    TExtMemo m;
    m.SetFont(editorFont());
    m.resize(800, 600);
    m.EditArea().Margin().SetLeft(10);
    for (TEditSymbol* s : {&m.EditMarks().esCrLf, &m.EditMarks().esCtrl, &m.EditMarks().esDSp,
                           &m.EditMarks().esSSp, &m.EditMarks().esTab, &m.EditMarks().esEot})
        s->SetEnabled(true);
    m.EditMarks().lmWordWrap.SetEnabled(true);
    m.EditArea().SetLineLength(70);
    m.SetText(bigText());
    m.SetSelStart(static_cast<int>(bigText().size() / 2));
    m.show();
    QCoreApplication::processEvents();
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent bs(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    bool typed = false;
    for (auto _ : state) {
        QApplication::sendEvent(&m, typed ? &bs : &a);
        typed = !typed;
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_ExtMemoKeyInMiddle)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
