// Linux needs neither a control container nor a socket library start-up.
#include "platform/startup.h"

namespace platform {

void EnableControlContainer() {}
void StartSocketLibrary() {}
void StopSocketLibrary() {}

}  // namespace platform
