// The seam between start-up and the update dialog: the update run constructs the dialog, writes
// the run's file name to the debug output, runs the dialog modally and then, before the dialog is
// destroyed, calls afterModal (which starts the clean run).
#pragma once

#include <functional>
#include <string>

void RunUpdateDialog(const std::wstring& fileName, const std::function<void()>& afterModal);
