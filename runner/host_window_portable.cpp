// No window system: the host has no window and draws nowhere.
#include "runner/host_window.h"

namespace vantrel::runner {

intptr_t CreateHostWindow() { return 0; }
void DestroyHostWindow(intptr_t) {}
void DrawOnDevice(void*, int32, int32, const Image&) {}

}  // namespace vantrel::runner
