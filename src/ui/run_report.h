// What an unattended run shows of itself: a one-line progress bar on standard error, and, when
// the environment variable TQ_UPDATE_PICTURES names a folder, pictures (PNG) of the dialog as it
// looks when it is ready, while it downloads and when the update is complete. Main thread.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Redraws the progress line after a progress message (unattended runs only).
void ReportProgress(uint32_t total, int32_t done);
// Called after the dialog entered state; keeps a picture of window for the ready and complete
// states, and for the downloading state once it is about half way (see ReportProgress).
void ReportState(platform::WindowHandle window, int state);
