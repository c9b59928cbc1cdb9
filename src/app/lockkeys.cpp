#include "lockkeys.h"

#include <QGuiApplication>

#include <dlfcn.h>

namespace {
using Display = void;
using Atom = unsigned long;
using OpenDisplayFn = Display* (*)(const char*);
using CloseDisplayFn = int (*)(Display*);
using InternAtomFn = Atom (*)(Display*, const char*, int);
using GetNamedIndicatorFn = int (*)(Display*, Atom, int*, int*, void*, int*);
} // namespace

XkbLockKeys::XkbLockKeys() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    lib_ = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!lib_) return;
    auto open = reinterpret_cast<OpenDisplayFn>(::dlsym(lib_, "XOpenDisplay"));
    if (open) display_ = open(nullptr);
}

XkbLockKeys::~XkbLockKeys() {
    if (display_) {
        auto close = reinterpret_cast<CloseDisplayFn>(::dlsym(lib_, "XCloseDisplay"));
        if (close) close(display_);
    }
    if (lib_) ::dlclose(lib_);
}

std::optional<bool> XkbLockKeys::indicator(const char* name) const {
    if (!display_) return std::nullopt;
    auto intern = reinterpret_cast<InternAtomFn>(::dlsym(lib_, "XInternAtom"));
    auto get = reinterpret_cast<GetNamedIndicatorFn>(::dlsym(lib_, "XkbGetNamedIndicator"));
    if (!intern || !get) return std::nullopt;
    int state = 0;
    if (!get(display_, intern(display_, name, 0), nullptr, &state, nullptr, nullptr))
        return std::nullopt;
    return state != 0;
}
