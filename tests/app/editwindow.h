// The main window with common dialogs that answer from the test.
#pragma once

#include "mainwindowtest.h"

#include "app/editcommands.h"

#include "support/sjis.h"
#include "text/cp932.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPrinter>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>

// Answers the print, page set-up, preview and font dialogs.
struct FakeCommonDialogs : CommonDialogs {
    // print: confirmed when printTo is not empty; the printer then writes a
    // PDF file there.
    std::string printTo;
    int printAsked = 0;
    // pageSetup: applies this orientation and confirms.
    std::optional<QPageLayout::Orientation> orientation;
    int pageSetupAsked = 0;
    // preview: paints on a PDF printer writing here.
    std::string previewTo;
    int previewAsked = 0;
    // font: the answers in order (nothing: cancelled).
    std::deque<std::optional<QFont>> fonts;
    std::vector<bool> fixedPitchOnly;
    QFont initialFont;

    bool print(QPrinter& printer, QWidget*) override {
        ++printAsked;
        if (printTo.empty()) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(printTo));
        return true;
    }
    bool pageSetup(QPrinter& printer, QWidget*) override {
        ++pageSetupAsked;
        if (!orientation) return false;
        printer.setPageOrientation(*orientation);
        return true;
    }
    void preview(QPrinter& printer, QWidget*,
                 const std::function<void(QPrinter*)>& paint) override {
        ++previewAsked;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(previewTo));
        paint(&printer);
    }
    std::optional<QFont> font(const QFont& initial, bool fixedOnly, QWidget*) override {
        initialFont = initial;
        fixedPitchOnly.push_back(fixedOnly);
        if (fonts.empty()) return std::nullopt;
        std::optional<QFont> f = fonts.front();
        fonts.pop_front();
        return f;
    }
};

struct EditWindowTest : MainWindowTest {
    FakeCommonDialogs* common = nullptr;

    // Starts the window (an empty link.dat, so that start-up tells nothing).
    void start() {
        if (!QFile::exists(QString::fromStdString(dir.file("link.dat")))) dir.write("link.dat", "");
        startWindow();
        auto fake = std::make_unique<FakeCommonDialogs>();
        common = fake.get();
        main->editing().setCommonDialogs(std::move(fake));
    }
    std::string text() { return editor().text(); }
    void select(std::size_t from, std::size_t to) { editor().setSelection(from, to); }
    std::pair<std::size_t, std::size_t> selection() {
        const auto s = static_cast<std::size_t>(editor().selectionStart());
        return {s, s + static_cast<std::size_t>(editor().selectionLength())};
    }
    std::vector<QString> boxTexts() const {
        std::vector<QString> out;
        for (const auto& b : dialogs.boxes)
            out.push_back(b.text);
        return out;
    }
};

// Saves a picture for people to look at, under screenshots/ in the folder the
// tests run in.
inline void saveScreenshot(const QImage& image, const char* name) {
    QDir().mkpath(QDir::currentPath() + QStringLiteral("/screenshots"));
    image.save(QDir::currentPath() + QStringLiteral("/screenshots/") + QString::fromLatin1(name));
}
