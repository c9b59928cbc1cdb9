#pragma once

// Functions of a library loaded when first used (dlopen), each found by name
// into a pointer of its declared type.

#include <dlfcn.h>

namespace dynamiclibrary {

// Finds `name` in `library` into `function`; false when it is not there.
template <typename F> bool findFunction(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(library, name));
    return function != nullptr;
}

} // namespace dynamiclibrary
