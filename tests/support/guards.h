// Guards that reset a global test hook when the test leaves its scope, also
// when an assertion fails midway.
#pragma once

#include <functional>
#include <utility>

// Runs `reset` when the scope ends.
class HookGuard {
  public:
    explicit HookGuard(std::function<void()> reset) : reset_(std::move(reset)) {}
    ~HookGuard() {
        if (reset_) reset_();
    }
    HookGuard(const HookGuard&) = delete;
    HookGuard& operator=(const HookGuard&) = delete;

  private:
    std::function<void()> reset_;
};
