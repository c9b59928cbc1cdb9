// The toggle state of Caps Lock and Num Lock. Qt does not report it, so it
// is read from the X keyboard extension when the program runs on X11; other
// platforms (Wayland, offscreen) cannot tell and answer "unknown".
#pragma once

#include <optional>

class LockKeys {
  public:
    virtual ~LockKeys() = default;
    virtual std::optional<bool> capsLock() const = 0;
    virtual std::optional<bool> numLock() const = 0;
};

// X11 through libX11 loaded at run time (no build dependency on it).
class XkbLockKeys : public LockKeys {
  public:
    XkbLockKeys();
    ~XkbLockKeys() override;
    std::optional<bool> capsLock() const override { return indicator("Caps Lock"); }
    std::optional<bool> numLock() const override { return indicator("Num Lock"); }

  private:
    std::optional<bool> indicator(const char* name) const;
    void* lib_ = nullptr;
    void* display_ = nullptr;
};
