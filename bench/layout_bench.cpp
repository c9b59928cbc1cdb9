// The line view (MMEdit's layout, 70 columns, newsletter wrap mode) on its
// own, with reference lines on the same text:
//   LayoutAll/MMEdit/...     the whole text laid out;
//   LayoutAll/QTextLayout/.. Qt's text layout wrapping the decoded paragraphs
//                            at the same width in pixels (the peer);
//   LineBreaks/ICU/10MB      ICU's line breaker, locale ja@lb=strict, over the
//                            text decoded to UTF-16 beforehand: every break
//                            opportunity found;
//   ByteLoop/10MB            a plain loop over the bytes counting CR and LF
//                            (about what reading the memory costs);
//   Edit/LineView/...        one byte inserted into the gap buffer (and
//                            taken out on the next iteration) and the line
//                            view brought up to date, at the start, middle
//                            and end of 100 MB;
//   Edit/QTextDocument/...   the same keystroke into a QPlainTextEdit's
//                            document, at the same character of 10 MB.
// Every figure's bytes/s is per byte of the code page 932 text.
#include "bench_support.h"
#include "sample_text.h"

#include "text/cp932.h"
#include "text/gapbuffer.h"
#include "text/lineview.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextLayout>
#include <benchmark/benchmark.h>

#ifdef MMEDIT_BENCH_HAVE_ICU
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#endif

namespace {

LayoutRules newsletterRules() {
    LayoutRules r;
    r.width = kLineLength;
    r.modeWord = kNewsletterWrapMode;
    return r;
}

void layoutAll(benchmark::State& state, SampleKind kind, std::size_t bytes) {
    const std::string& t = cachedSample(kind, bytes);
    LineView v;
    v.setRules(newsletterRules());
    Stopwatch clock;
    for (auto _ : state) {
        v.layoutAll(t);
        benchmark::DoNotOptimize(v.count());
    }
    recordSide(state, "LayoutAll/" + textName(kind, bytes), Side::mmedit,
               clock.seconds() / static_cast<double>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.counters["lines"] = static_cast<double>(v.count());
}

// Peer: QTextLayout wrapping the decoded text in the editor's font at the
// same width.
void qtextLayoutAll(benchmark::State& state, std::size_t bytes) {
    const std::string& t = cachedSample(SampleKind::newsletter, bytes);
    const QStringList paragraphs = cp932::decode(t).split(QStringLiteral("\r\n"));
    QFont font = editorFont();
    font.setStyleHint(QFont::Monospace);
    const qreal lineWidth = QFontMetricsF(font).horizontalAdvance(QLatin1Char('x')) * kLineLength;
    std::int64_t lines = 0;
    Stopwatch clock;
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
    recordSide(state, "LayoutAll/" + sizeName(bytes), Side::peer,
               clock.seconds() / static_cast<double>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.counters["lines"] = static_cast<double>(lines);
}

#ifdef MMEDIT_BENCH_HAVE_ICU
void icuLineBreaks(benchmark::State& state, std::size_t bytes) {
    const std::string& t = cachedSample(SampleKind::newsletter, bytes);
    const QString decoded = cp932::decode(t);
    const icu::UnicodeString u(false, reinterpret_cast<const char16_t*>(decoded.utf16()),
                               static_cast<int32_t>(decoded.size()));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaker(
        icu::BreakIterator::createLineInstance(icu::Locale("ja@lb=strict"), status));
    if (U_FAILURE(status)) {
        state.SkipWithError(u_errorName(status));
        return;
    }
    breaker->setText(u);
    std::int64_t breaks = 0;
    for (auto _ : state) {
        breaks = 0;
        for (int32_t p = breaker->first(); p != icu::BreakIterator::DONE; p = breaker->next())
            ++breaks;
        benchmark::DoNotOptimize(breaks);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.counters["breaks"] = static_cast<double>(breaks);
}
#endif

void byteLoop(benchmark::State& state, std::size_t bytes) {
    const std::string& t = cachedSample(SampleKind::newsletter, bytes);
    std::size_t ends = 0;
    for (auto _ : state) {
        ends = 0;
        for (char c : t)
            ends += static_cast<std::size_t>((c == '\r') | (c == '\n'));
        benchmark::DoNotOptimize(ends);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * t.size()));
    state.counters["line_end_bytes"] = static_cast<double>(ends);
}

// One character typed at a place (and taken out again on the next
// iteration), with the line view brought up to date and the totals read.
void editLineView(benchmark::State& state, std::size_t bytes, Where where) {
    const std::string& t = cachedSample(SampleKind::newsletter, bytes);
    GapBuffer buf(t);
    LineView v;
    v.setRules(newsletterRules());
    v.layoutAll(buf);
    const std::size_t pos = bytePosition(t, where);
    bool inserted = false;
    Stopwatch clock;
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
    recordSide(state, "Edit/" + sizeName(bytes) + "/" + whereName(where), Side::mmedit,
               clock.seconds() / static_cast<double>(state.iterations()));
}

// Peer: the same keystrokes into a QPlainTextEdit's document (not shown),
// at the same character.
void editQTextDocument(benchmark::State& state, std::size_t bytes, Where where) {
    const std::string& t = cachedSample(SampleKind::newsletter, bytes);
    auto edit = peerEditor();
    edit->setPlainText(cp932::decode(t));
    QTextCursor c(edit->document());
    c.setPosition(peerPosition(t, bytePosition(t, where)));
    edit->setTextCursor(c);
    bool inserted = false;
    Stopwatch clock;
    for (auto _ : state) {
        QTextCursor cur = edit->textCursor();
        if (!inserted)
            cur.insertText(QStringLiteral("x"));
        else
            cur.deletePreviousChar();
        inserted = !inserted;
        benchmark::DoNotOptimize(edit->document()->blockCount());
    }
    recordSide(state, "Edit/" + sizeName(bytes) + "/" + whereName(where), Side::peer,
               clock.seconds() / static_cast<double>(state.iterations()));
}

template <class F> benchmark::internal::Benchmark* add(const std::string& name, F f) {
    return benchmark::RegisterBenchmark(name.c_str(), f);
}

bool registerAll() {
    const SampleKind news = SampleKind::newsletter;
    for (std::size_t bytes : {std::size_t{30} << 10, 10 * kMB}) {
        add("LayoutAll/MMEdit/" + sizeName(bytes),
            [=](benchmark::State& s) { layoutAll(s, news, bytes); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        add("LayoutAll/QTextLayout/" + sizeName(bytes),
            [=](benchmark::State& s) { qtextLayoutAll(s, bytes); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(bytes > kMB ? 3 : 20);
    }
#ifdef MMEDIT_BENCH_HAVE_ICU
    add("LineBreaks/ICU/10MB", [](benchmark::State& s) { icuLineBreaks(s, 10 * kMB); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
#endif
    add("ByteLoop/10MB", [](benchmark::State& s) { byteLoop(s, 10 * kMB); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    add("LayoutAll/MMEdit/100MB", [=](benchmark::State& s) { layoutAll(s, news, 100 * kMB); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
    for (SampleKind k : {SampleKind::noLineEnd, SampleKind::brackets, SampleKind::tabs})
        add("LayoutAll/MMEdit/" + textName(k, 10 * kMB),
            [=](benchmark::State& s) { layoutAll(s, k, 10 * kMB); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    add("Edit/LineView/10MB/middle",
        [](benchmark::State& s) { editLineView(s, 10 * kMB, Where::middle); })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    add("Edit/QTextDocument/10MB/middle",
        [](benchmark::State& s) { editQTextDocument(s, 10 * kMB, Where::middle); })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    for (Where w : {Where::start, Where::middle, Where::end})
        add(std::string("Edit/LineView/100MB/") + whereName(w),
            [=](benchmark::State& s) { editLineView(s, 100 * kMB, w); })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    return true;
}

[[maybe_unused]] const bool registered = registerAll();

} // namespace
