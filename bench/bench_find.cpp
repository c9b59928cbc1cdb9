// Find and Replace All in a 10 MB newsletter text, next to Qt doing the same
// work in the same run:
//   FindMiss/...        a search for words the text does not hold, from the
//                       start to the end: MMEdit's Document::find (letter
//                       case counting, and not) and QPlainTextEdit::find on
//                       the same text;
//   ReplaceAll/...      100,000 occurrences replaced: Document::replaceAll
//                       (one change, one undo step), the whole command in the
//                       editing area (TextSearch::replaceAll, with the change
//                       notice and the layout it starts) and QString::replace
//                       on the decoded text.
// The counter "peer/MMEdit" is the peer's time over MMEdit's (the Document's
// for Replace All); "replaced" and "undoSteps" show that the work was done
// whole.
#include "bench_support.h"
#include "sample_text.h"

#include "app/findreplace.h"
#include "editor/editingarea.h"
#include "platform/dialogs.h"
#include "text/cp932.h"
#include "text/document.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>

namespace {

constexpr std::size_t kTextBytes = 10 * kMB;
constexpr std::size_t kOccurrences = 100000;

std::string sj(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

// The word searched for and missed.
const std::string& missingWord() {
    static const std::string w = sj("存在しない言葉");
    return w;
}
// The same in letters, so that the search without letter case has to fold.
const char* const kMissingLetters = "zqxjkv";

// The newsletter text with a marker put in at a character boundary every
// (size / count) bytes: exactly kOccurrences of it.
const std::string& markedText() {
    static const std::string t = [] {
        const std::string& base = cachedSample(SampleKind::newsletter, kTextBytes);
        const std::string marker = sj("猫又");
        const std::size_t step = base.size() / kOccurrences;
        std::string out;
        out.reserve(base.size() + kOccurrences * marker.size());
        std::size_t from = 0;
        for (std::size_t k = 1; k <= kOccurrences; ++k) {
            std::size_t at = std::min(base.size(), k * step);
            while (at < base.size() && cp932::boundaryAtOrBefore(base, at) != at)
                ++at;
            out.append(base, from, at - from);
            out += marker;
            from = at;
        }
        out.append(base, from, std::string::npos);
        return out;
    }();
    return t;
}
const std::string& marker() {
    static const std::string m = sj("猫又");
    return m;
}
const std::string& replacement() {
    static const std::string r = sj("ねこまた");
    return r;
}

QString decoded(const std::string& bytes) {
    QString s = cp932::decode(bytes);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

// --- Find ----------------------------------------------------------------------------

Document& newsletterDocument() {
    static Document* doc = [] {
        auto* d = new Document;
        d->setText(cachedSample(SampleKind::newsletter, kTextBytes));
        return d;
    }();
    return *doc;
}

void findMiss(benchmark::State& state, const std::string& what, bool matchCase,
              const char* figure) {
    Document& doc = newsletterDocument();
    FindOptions o;
    o.matchCase = matchCase;
    if (doc.find(what, 0, o)) throw std::runtime_error("the word is in the text");
    Stopwatch total;
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.find(what, 0, o));
    recordSide(state, figure, Side::mmedit, total.seconds() / state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
}

void BM_FindMiss_MMEdit(benchmark::State& state) {
    findMiss(state, missingWord(), true, "FindMiss");
}

void BM_FindMissNoCase_MMEdit(benchmark::State& state) {
    findMiss(state, kMissingLetters, false, "FindMissNoCase");
}

QPlainTextEdit& peer() {
    static QPlainTextEdit* e = [] {
        auto* p = peerEditor().release();
        p->setPlainText(decoded(cachedSample(SampleKind::newsletter, kTextBytes)));
        return p;
    }();
    return *e;
}

void peerFindMiss(benchmark::State& state, const QString& what, QTextDocument::FindFlags flags,
                  const char* figure) {
    QPlainTextEdit& e = peer();
    Stopwatch total;
    for (auto _ : state) {
        e.moveCursor(QTextCursor::Start);
        if (e.find(what, flags)) throw std::runtime_error("the peer found the word");
    }
    recordSide(state, figure, Side::peer, total.seconds() / state.iterations());
}

void BM_FindMiss_QPlainTextEdit(benchmark::State& state) {
    peerFindMiss(state, cp932::decode(missingWord()), QTextDocument::FindCaseSensitively,
                 "FindMiss");
}

void BM_FindMissNoCase_QPlainTextEdit(benchmark::State& state) {
    peerFindMiss(state, QString::fromLatin1(kMissingLetters), {}, "FindMissNoCase");
}

// --- Replace All -------------------------------------------------------------------

void BM_ReplaceAll_MMEditDocument(benchmark::State& state) {
    Document doc;
    doc.setText(markedText());
    std::size_t replaced = 0;
    double seconds = 0;
    for (auto _ : state) {
        Stopwatch one;
        replaced = doc.replaceAll(marker(), replacement(), {});
        seconds += one.seconds();
        state.PauseTiming();
        if (replaced != kOccurrences || !doc.undo() || doc.canUndo())
            throw std::runtime_error("Replace All was not one step of every occurrence");
        state.ResumeTiming();
    }
    if (doc.text() != markedText()) throw std::runtime_error("undo did not give the text back");
    state.counters["replaced"] = static_cast<double>(replaced);
    state.counters["undoSteps"] = 1;
    recordSide(state, "ReplaceAll", Side::mmedit, seconds / state.iterations());
}

// Boxes are counted, never shown.
class QuietDialogs : public Dialogs {
  public:
    Button messageBox(const QString&, const QString&, Icon, int) override { return Ok; }
    std::string openFileName(const QString&, const QString&, const std::string&) override {
        return {};
    }
    std::string saveFileName(const QString&, const QString&, const std::string&) override {
        return {};
    }
};

void BM_ReplaceAll_MMEditEditingArea(benchmark::State& state) {
    auto editor = newsletterEditor();
    showAndPaint(editor.get());
    editor->setText(markedText());
    QCoreApplication::processEvents();
    QuietDialogs dialogs;
    TextSearch search(*editor, dialogs);
    SearchRequest r;
    r.what = marker();
    r.with = replacement();
    std::size_t replaced = 0;
    for (auto _ : state) {
        editor->setSelectionStart(0);
        replaced = search.replaceAll(r);
        state.PauseTiming();
        if (replaced != kOccurrences) throw std::runtime_error("not every occurrence replaced");
        editor->undo();
        if (editor->canUndo()) throw std::runtime_error("Replace All took more than one step");
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["replaced"] = static_cast<double>(replaced);
}

void BM_ReplaceAll_QStringReplace(benchmark::State& state) {
    const QString text = decoded(markedText());
    const QString what = cp932::decode(marker());
    const QString with = cp932::decode(replacement());
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QString copy = text;
        copy.detach();
        state.ResumeTiming();
        Stopwatch one;
        copy.replace(what, with);
        seconds += one.seconds();
        benchmark::DoNotOptimize(copy.size());
    }
    recordSide(state, "ReplaceAll", Side::peer, seconds / state.iterations());
}

} // namespace

BENCHMARK(BM_FindMiss_MMEdit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMiss_QPlainTextEdit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMissNoCase_MMEdit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMissNoCase_QPlainTextEdit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_MMEditDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_MMEditEditingArea)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_QStringReplace)->Unit(benchmark::kMillisecond);
