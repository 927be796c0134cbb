// Process-wide start-up and shut-down of platform services: hosting of ActiveX controls (the
// release-notes view needs it) and the socket library. No-ops where the platform has no such
// service.
#pragma once

namespace platform {

void EnableControlContainer();
void StartSocketLibrary();  // version 2.2; the result is not examined
void StopSocketLibrary();

}  // namespace platform
