// What the benchmark programs share: the two editors under comparison set up
// alike (MMEdit's editing area with the newsletter design, and
// QPlainTextEdit as the peer), opening a text in either, positions that
// stand at the same character in both, process memory figures, peer/MMEdit
// ratios, and the program's child modes (a benchmark may run a piece of
// work in a child process of its own program, under a time limit).
#pragma once

#include "sample_text.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

class EditingArea;
class QFont;
class QObject;
class QPlainTextEdit;
class QWidget;

QFont editorFont();

// Where in a text a key is typed.
enum class Where { start, middle, end };
const char* whereName(Where w);
// The byte position of the place in a text (a character boundary; the middle
// is the boundary at or before half the size).
std::size_t bytePosition(std::string_view text, Where w);
// "10MB", "30KB".
std::string sizeName(std::size_t bytes);
// "10MB" for the newsletter text, "NoLineEnd10MB" for the others.
std::string textName(SampleKind kind, std::size_t bytes);

// The window size both editors get.
constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 600;
// The line length of the editing area, in single-byte columns.
constexpr int kLineLength = 70;

// MMEdit's editing area as the main window designs it (configureNewsletterEditor,
// line length 70), sized and with its window created, not shown.
std::unique_ptr<EditingArea> newsletterEditor();
// The peer with the same font and size, not shown.
std::unique_ptr<QPlainTextEdit> peerEditor();

// How MMEdit takes a text in: "loadFile" (from the file) when the control
// has that entry, else "setText" (from bytes read beforehand).
const char* mmeditLoadEntry();
// Opens a text in MMEdit through that entry: from path with loadFile, else
// from bytes (then bytes may be empty). Throws std::runtime_error when the
// text did not arrive whole.
void openInMMEdit(EditingArea& e, const std::string& bytes, const std::string& path);
// Opens the same text in the peer, decoding included (and reading the file
// when MMEdit reads it too; then bytes may be empty).
void openInPeer(QPlainTextEdit& e, const std::string& bytes, const std::string& path);

// The peer's position (UTF-16, a CR LF pair being one paragraph separator)
// of the character that starts at byte pos in text: the decoded prefix.
int peerPosition(std::string_view text, std::size_t pos);

// Shows a widget and lets it paint.
void showAndPaint(QWidget* w);

// Counts the paint events a widget receives.
class PaintCounter {
  public:
    explicit PaintCounter(QWidget* w);
    ~PaintCounter();
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;
    long count() const;

  private:
    struct Filter;
    std::unique_ptr<Filter> filter_;
    QWidget* widget_;
};

// Whole-process memory, from /proc/self/status (kilobytes).
struct ProcessMemory {
    long peakKB = 0; // VmHWM
    long rssKB = 0;  // VmRSS
};
ProcessMemory processMemory();
// Prints the resident kilobytes of the process's mappings, largest first,
// grouped by what is mapped (a library, a font, the heap, anonymous memory),
// down to `minKB` (from /proc/self/smaps).
void printResidentMappings(const char* title, long minKB);

// A wall-clock stopwatch for the ratios.
class Stopwatch {
  public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

// Records the time per iteration of one side of a figure; when the other
// side of the same figure has run before in this run, sets the counter
// "peer/MMEdit" (the peer's time over MMEdit's) on this benchmark.
enum class Side { mmedit, peer };
void recordSide(benchmark::State& state, const std::string& figure, Side side,
                double secondsPerIteration);

// Child modes: a program's main hands "--child=NAME:ARG" to the function
// registered under NAME and exits with what it returns.
using ChildMain = int (*)(const std::string& arg);
bool registerChildMode(const char* name, ChildMain main);
// Runs this program in a child mode and waits at most limitSeconds (then
// ends it). output is what the child wrote to its standard output.
enum class ChildEnd { ok, failed, timedOut };
ChildEnd runChildMode(const char* name, const std::string& arg, double limitSeconds,
                      std::string& output);
// Work for the end of the run, before the application goes (main runs it).
void atBenchEnd(void (*work)());
void runBenchEnd();

// For main: runs the child mode named in argv[1] when there is one.
bool runChildModeIfAsked(int argc, char** argv, int& status);
