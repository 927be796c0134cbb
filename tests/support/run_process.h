// Runs a program for a test, in the program's own folder, and waits for it: arguments as a list
// (quoted by the C runtime's rules on Windows), a time limit after which the program is killed.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

constexpr int kTimedOut = -1000;

// Exit code of the program, -1 when it could not be started, kTimedOut when killed at the limit.
int RunProcess(const std::wstring& program, const std::vector<std::wstring>& args,
               int timeoutMs = 60000);

// Sets an environment variable of the test process (inherited by the programs it starts).
void SetEnv(const std::string& name, const std::wstring& value);

// Waits until predicate() holds, polling every 20 ms; false when timeoutMs passed first.
template <typename Predicate>
bool WaitFor(Predicate predicate, int timeoutMs);

}  // namespace testing_support

#include "support/run_process_impl.h"
