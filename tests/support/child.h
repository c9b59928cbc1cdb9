// Running a piece of a test in a child process, so that code that blocks,
// aborts or runs out of memory fails the test instead of stopping the run.
#pragma once

#include <functional>
#include <string>

// Runs body in a forked child and returns what it returned; "timed out" when
// it has not ended within seconds (it is killed), "died" when it did not end
// normally.
std::string runInChild(const std::function<std::string()>& body, int seconds = 10);
