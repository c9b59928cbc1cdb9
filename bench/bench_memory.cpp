// Whole-process memory of opening a newsletter text, one editor per process
// (the peak is the process's):
//
//   bench_memory mmedit SIZE_MB [FILE]   MMEdit's editing area (newsletter design)
//   bench_memory peer SIZE_MB [FILE]     QPlainTextEdit, decoding included
//   bench_memory write SIZE_MB FILE      writes the newsletter text of SIZE_MB
//
// The text is read from FILE (by default mmedit-bench-<SIZE>MB.txt in the
// temporary folder, written first by a child process when it is missing, so
// that making the text costs this process nothing). The editor is shown on
// the offscreen platform, the text read (or, when MMEdit has loadFile, read
// by the editors themselves), opened and painted, the bytes read let go, the
// idle layout let finish; then the peak (VmHWM) and the resident size at rest
// (VmRSS) are printed, as MB and as multiples of the file size, with the
// figures before opening.
#include "bench_support.h"
#include "sample_text.h"

#include "editor/editingarea.h"
#include "text/fileio.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: bench_memory mmedit|peer SIZE_MB [FILE]\n"
                         "       bench_memory write SIZE_MB FILE\n");
    return 2;
}

double mb(long kb) {
    return static_cast<double>(kb) / 1024.0;
}

// Opens the file in the editor, paints, and lets the bytes read go.
template <class Editor, class Open> void openFile(Editor& e, const std::string& path, Open open) {
    std::string bytes;
    if (std::string_view(mmeditLoadEntry()) != "loadFile") bytes = fileio::readAll(path);
    open(e, bytes, path);
    bytes = std::string();
    QCoreApplication::processEvents(); // the first paint
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    const long sizeMB = std::atol(argv[2]);
    if (sizeMB <= 0) return usage();
    const std::size_t bytes = static_cast<std::size_t>(sizeMB) * kMB;
    std::string path = argc > 3 ? argv[3]
                                : (std::filesystem::temp_directory_path() /
                                   ("mmedit-bench-" + std::to_string(sizeMB) + "MB.txt"))
                                      .string();
    if (mode == "write") {
        if (argc < 4) return usage();
        writeFile(path, newsletterText(bytes));
        return 0;
    }
    if (mode != "mmedit" && mode != "peer") return usage();

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        const int status = QProcess::execute(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("write"), QString::number(sizeMB), QString::fromStdString(path)});
        if (status != 0) {
            std::fprintf(stderr, "bench_memory: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
    const double fileMB = fileBytes / static_cast<double>(kMB);

    std::unique_ptr<EditingArea> m;
    std::unique_ptr<QPlainTextEdit> p;
    QWidget* shown = nullptr;
    if (mode == "mmedit")
        shown = (m = newsletterEditor()).get();
    else
        shown = (p = peerEditor()).get();
    showAndPaint(shown);
    const ProcessMemory before = processMemory();
    // MMEDIT_BENCH_MAPPINGS=KB lists the resident mappings of at least KB
    // kilobytes before opening and at rest.
    const long mappingsKB = std::atol(qgetenv("MMEDIT_BENCH_MAPPINGS").constData());
    if (mappingsKB > 0) printResidentMappings("before opening", mappingsKB);

    if (m)
        openFile(*m, path, openInMMEdit);
    else
        openFile(*p, path, openInPeer);
    QCoreApplication::processEvents();
    // At rest: once MMEdit's idle layout is done.
    while (m && !m->lineView().complete())
        QCoreApplication::processEvents();
    const ProcessMemory after = processMemory();
    if (mappingsKB > 0) printResidentMappings("at rest", mappingsKB);

    const double peak = mb(after.peakKB), rest = mb(after.rssKB), base = mb(before.rssKB);
    std::printf("%s, %.0f MB file (%s): before opening %.1f MB; peak %.1f MB = %.2f x file "
                "(%.2f x above before); at rest %.1f MB = %.2f x file (%.2f x above before)\n",
                mode == "mmedit" ? "MMEdit" : "peer (QPlainTextEdit)", fileMB,
                mode == "mmedit" ? mmeditLoadEntry() : "decode+setPlainText", base, peak,
                peak / fileMB, (peak - base) / fileMB, rest, rest / fileMB, (rest - base) / fileMB);
    std::printf("memory %s file_mb=%.1f before_mb=%.1f peak_mb=%.1f rest_mb=%.1f\n", mode.c_str(),
                fileMB, base, peak, rest);
    m.reset();
    p.reset();
    return 0;
}
