// The filtering drive: sizing the band, choosing between the one-pass
// advanceState drive and the classic band drive, and moving band by band.
#pragma once

#include "core/globals.h"
#include "core/parameters.h"

namespace vantrel {

// The one-pass drive: requests the whole filter rectangle through advanceState
// and maps it, then clears the rectangles.
void FilterWithAdvanceState(Globals* globals, FilterParameters& block);

// The classic drive's first request: a band of bandRows rows at the top of the
// filter rectangle.
void SetFirstBand(Globals* globals, FilterParameters& block);

// Moves the request one band down; answers whether that band starts inside the
// filter rectangle.
bool NextBand(Globals* globals, FilterParameters& block);

// Sets the input, output and mask rectangles to (0, 0, 0, 0): no more data.
void ClearRects(Globals* globals);

}  // namespace vantrel
