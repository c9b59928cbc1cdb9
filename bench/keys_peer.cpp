// The peer of bench/keys.sh: a plain Qt main window holding a QPlainTextEdit
// (wrapping at the window's width) in the editor's font, the file given on
// the command line read and converted from code page 932 by iconv, shown at
// MMEdit's design size.
#include "peer_window.h"

#include <QApplication>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QStatusBar>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <iconv.h>

namespace {

std::string cp932ToUtf8(const std::string& in) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out(in.size() * 3 / 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t done = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + done;
        std::size_t dstLeft = out.size() - done;
        const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        done = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else { // a byte iconv cannot convert: skipped
            ++src;
            --srcLeft;
        }
    }
    iconv_close(cd);
    out.resize(done);
    return out;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    QPlainTextEdit* editor =
        setUpPeerWindow(window, QStringLiteral("keys peer"), QStringLiteral("peer"), false);
    if (argc > 1) {
        std::ifstream f(argv[1], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
        editor->setPlainText(QString::fromStdString(cp932ToUtf8(bytes)));
    }
    window.show();
    editor->setFocus();
    return app.exec();
}
