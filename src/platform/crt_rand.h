// The Microsoft C runtime's pseudo-random generator, whose sequence names the staging and the
// extraction folders: state = state * 214013 + 2531011, result = (state >> 16) & 0x7FFF. One
// state per thread, starting at 1, never reseeded.
#pragma once

namespace platform {

int CrtRand();
// Restarts the calling thread's sequence (tests only).
void CrtSeed(unsigned seed);

}  // namespace platform
