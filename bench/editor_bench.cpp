// The text control with a 10 MB document: opening (bytes in, laid out, first
// paint), one typed key with its repaint, and a page of scrolling, next to
// QPlainTextEdit on the same text.
#include "sample_text.h"

#include "editor/eastasianedit.h"
#include "editor/editingarea.h"
#include "text/cp932.h"

#include <memory>

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

// The control with the 10 MB text, the caret in the middle.
std::unique_ptr<EastAsianEdit> loadedEditor() {
    auto e = std::make_unique<EastAsianEdit>();
    e->setEditorFont(editorFont());
    e->resize(800, 600);
    e->ensureWindow();
    e->setText(bigText());
    e->setSelectionStart(static_cast<int>(bigText().size() / 2));
    return e;
}

std::unique_ptr<QPlainTextEdit> loadedPlainTextEdit() {
    auto e = std::make_unique<QPlainTextEdit>();
    e->setFont(editorFont());
    e->resize(800, 600);
    e->setPlainText(cp932::decode(bigText()));
    QTextCursor c(e->document());
    c.setPosition(e->document()->characterCount() / 2);
    e->setTextCursor(c);
    return e;
}

// Types a letter and takes it back again, key after key, with the screen
// update when asked.
void typeInMiddle(benchmark::State& state, QWidget* w, bool screen) {
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent bs(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    if (screen) {
        w->show();
        QCoreApplication::processEvents();
    }
    bool typed = false;
    for (auto _ : state) {
        QApplication::sendEvent(w, typed ? &bs : &a);
        typed = !typed;
        if (screen) QCoreApplication::processEvents(); // only what the key marked dirty is painted
    }
}

void BM_EditorOpen10MB(benchmark::State& state) {
    for (auto _ : state) {
        EastAsianEdit e;
        e.setEditorFont(editorFont());
        e.resize(800, 600);
        e.ensureWindow();
        e.setText(bigText());
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
    typeInMiddle(state, loadedEditor().get(), true);
}
BENCHMARK(BM_EditorKeyInMiddle)->Unit(benchmark::kMicrosecond);

// The key alone: edit, re-layout and totals, without the screen update.
void BM_EditorKeyInMiddleNoPaint(benchmark::State& state) {
    typeInMiddle(state, loadedEditor().get(), false);
}
BENCHMARK(BM_EditorKeyInMiddleNoPaint)->Unit(benchmark::kMicrosecond);

void BM_PlainTextEditKeyInMiddle(benchmark::State& state) {
    typeInMiddle(state, loadedPlainTextEdit().get(), true);
}
BENCHMARK(BM_PlainTextEditKeyInMiddle)->Unit(benchmark::kMicrosecond);

// A page of scrolling with its paint.
void scrollPages(benchmark::State& state, QAbstractScrollArea* area) {
    QScrollBar* bar = area->verticalScrollBar();
    int v = 0;
    for (auto _ : state) {
        v = (v + bar->pageStep()) % std::max(1, bar->maximum());
        bar->setValue(v);
        paint(area->viewport());
    }
}

void BM_EditorScrollPage(benchmark::State& state) {
    scrollPages(state, loadedEditor().get());
}
BENCHMARK(BM_EditorScrollPage)->Unit(benchmark::kMicrosecond);

void BM_PlainTextEditScrollPage(benchmark::State& state) {
    scrollPages(state, loadedPlainTextEdit().get());
}
BENCHMARK(BM_PlainTextEditScrollPage)->Unit(benchmark::kMicrosecond);

// The editing area with the 10 MB text and every mark on.
std::unique_ptr<EditingArea> loadedMemo() {
    auto m = std::make_unique<EditingArea>();
    m->setEditorFont(editorFont());
    m->resize(800, 600);
    configureNewsletterEditor(*m);
    m->editArea().setLineLength(70);
    m->setText(bigText());
    m->setSelectionStart(static_cast<int>(bigText().size() / 2));
    return m;
}

// A full window of newsletter text with every mark on, painted whole.
void BM_ExtMemoPaintAllMarks(benchmark::State& state) {
    auto m = loadedMemo();
    m->verticalScrollBar()->setValue(1000);
    for (auto _ : state)
        paint(m->viewport());
}
BENCHMARK(BM_ExtMemoPaintAllMarks)->Unit(benchmark::kMicrosecond);

// A key in the middle of 10 MB in the editing area with every mark on, with
// its screen update.
void BM_ExtMemoKeyInMiddle(benchmark::State& state) {
    typeInMiddle(state, loadedMemo().get(), true);
}
BENCHMARK(BM_ExtMemoKeyInMiddle)->Unit(benchmark::kMicrosecond);

} // namespace
