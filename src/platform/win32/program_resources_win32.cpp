// The resources are linked into the executable by the resource compiler; nothing to register.
#include "platform/program_resources.h"

namespace platform {

void RegisterProgramResources() {}

}  // namespace platform
