// The dialog's live preview as the core sees it: asking the host for the
// window of the image under the preview, and mapping it.
#pragma once

#include "core/globals.h"

namespace vantrel {

// Asks the host, through advanceState, for the preview window: `previewFrame`
// right x bottom proxy pixels (fewer where the filter rectangle is smaller) at
// one pixel in `zoomFactor`, centred in the filter rectangle and moved by the
// block's preview offsets. Keeps the host's filterRect in `savedFilterRect`
// first, then leaves filterRect narrowed to the window in image pixels; the
// caller puts it back. Answers the advanceState code, also stored in the
// result word. A zoom factor below 1 counts as 1. The offsets are taken as
// given: keeping them inside the filter rectangle is the caller's work.
int16 FetchPreview(Globals* globals);

// Maps the fetched window into the host's output buffer with the current
// settings when the preview is available; otherwise does nothing.
void MapPreview(Globals* globals, bool reportProgress);

}  // namespace vantrel
