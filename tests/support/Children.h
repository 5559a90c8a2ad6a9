// Other processes of a test: a function run in a forked copy of the test program.
#pragma once

#include <functional>
#include <sys/types.h>

namespace testsupport {

// Runs body in a child process, which ends with body's return value (2 when it throws); returns its pid.
pid_t forkChild(const std::function<int()>& body);
// Waits for a child; its exit code, or 100 + the signal that ended it.
int exitCode(pid_t pid);

} // namespace testsupport
