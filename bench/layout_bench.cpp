// Line layout speed and memory, with Qt's own text layout and plain-text
// editor on the same text as the peers.
#include "sample_text.h"

#include "text/cp932.h"
#include "text/lineview.h"

#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <benchmark/benchmark.h>

#include <map>

namespace {

const std::string& text(std::size_t size) {
    static std::map<std::size_t, std::string> cache;
    auto it = cache.find(size);
    if (it == cache.end()) it = cache.emplace(size, sampleJapaneseText(size)).first;
    return it->second;
}

constexpr int kWidth = 70;

void BM_LineViewFullLayout(benchmark::State& state) {
    const std::string& t = text(static_cast<std::size_t>(state.range(0)));
    LineView v;
    v.setRules({kWidth, 0x170, {}});
    for (auto _ : state) {
        v.layoutAll(t);
        benchmark::DoNotOptimize(v.count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.counters["lines"] = static_cast<double>(v.count());
}
BENCHMARK(BM_LineViewFullLayout)->Arg(30 << 10)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// Peer: QTextLayout wrapping the decoded text in a monospace font at the same width.
void BM_QTextLayoutFullLayout(benchmark::State& state) {
    const std::string& t = text(static_cast<std::size_t>(state.range(0)));
    const QStringList paragraphs = cp932::decode(t).split(QStringLiteral("\r\n"));
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(16);
    font.setStyleHint(QFont::Monospace);
    const qreal lineWidth = QFontMetricsF(font).horizontalAdvance(QLatin1Char('x')) * kWidth;
    std::int64_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        for (const QString& p : paragraphs) {
            QTextLayout layout(p, font);
            layout.beginLayout();
            while (true) {
                QTextLine line = layout.createLine();
                if (!line.isValid()) break;
                line.setLineWidth(lineWidth);
                ++lines;
            }
            layout.endLayout();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_QTextLayoutFullLayout)
    ->Arg(30 << 10)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One character typed in the middle of a 10 MB document (and taken out again
// on the next iteration), with re-layout and updated totals.
void BM_LineViewInsertMiddle(benchmark::State& state) {
    const std::string& t = text(10 << 20);
    GapBuffer buf(t);
    LineView v;
    v.setRules({kWidth, 0x170, {}});
    v.layoutAll(buf);
    std::size_t pos = cp932::boundaryAtOrBefore(t, t.size() / 2);
    bool inserted = false;
    for (auto _ : state) {
        if (!inserted) {
            buf.insert(pos, "x");
            v.edited(buf, pos, 0, 1);
        } else {
            buf.erase(pos, 1);
            v.edited(buf, pos, 1, 0);
        }
        inserted = !inserted;
        benchmark::DoNotOptimize(v.totals());
    }
    const double bytes = static_cast<double>(buf.capacity() + v.memoryBytes());
    state.counters["memory_per_file_byte"] = bytes / static_cast<double>(t.size());
}
BENCHMARK(BM_LineViewInsertMiddle)->Unit(benchmark::kMicrosecond);

// Peer: the same keystrokes in a QPlainTextEdit holding the same text.
void BM_QPlainTextEditInsertMiddle(benchmark::State& state) {
    const std::string& t = text(10 << 20);
    QPlainTextEdit edit;
    edit.resize(800, 600);
    edit.setPlainText(cp932::decode(t));
    QTextCursor c(edit.document());
    c.setPosition(edit.document()->characterCount() / 2);
    edit.setTextCursor(c);
    bool inserted = false;
    for (auto _ : state) {
        QTextCursor cur = edit.textCursor();
        if (!inserted)
            cur.insertText(QStringLiteral("x"));
        else
            cur.deletePreviousChar();
        inserted = !inserted;
        benchmark::DoNotOptimize(edit.document()->blockCount());
    }
}
BENCHMARK(BM_QPlainTextEditInsertMiddle)->Unit(benchmark::kMicrosecond);

} // namespace
