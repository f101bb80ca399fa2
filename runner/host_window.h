// Our host's window and screen, where there are any: the window passed to
// the filter as the owner of its dialogs, and drawing into a device context.
#pragma once

#include <cstdint>

#include "runner/image.h"

namespace vantrel::runner {

// A new top-level window of the host, not shown; 0 where there is no window
// system.
intptr_t CreateHostWindow();
void DestroyHostWindow(intptr_t window);

// Draws `rgb` (3 planes) with its top-left corner at column `col`, row `row`
// of device context `context`. Nothing where there is no window system.
void DrawOnDevice(void* context, int32 row, int32 col, const Image& rgb);

}  // namespace vantrel::runner
