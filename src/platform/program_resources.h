// The program's own resources on every target. The Windows build carries them in the
// executable's resource section (res/update.rc) and needs nothing more; elsewhere the bitmaps of
// res/ are compiled into the program and made known to the window layer (RegisterBitmapResource)
// by RegisterProgramResources, after which Bitmap::FromResource finds them on both targets.
// User-interface thread; safe to call more than once.
#pragma once

namespace platform {

void RegisterProgramResources();

}  // namespace platform
