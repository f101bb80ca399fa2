// The filter itself: writes the host's output buffer from its input buffer by
// the chosen channel order, blend and exclusion.
#pragma once

#include "core/globals.h"

namespace vantrel {

// Maps the input buffer the host delivered for `outRect` into the output
// buffer, pixel by pixel, using the parameter block's order, blend and
// exclusion. Only the image mode's colour planes are written; later planes
// (transparency) keep what the host put there.
//
// The checkerboard of the Cross blend starts at the buffer's top-left pixel.
// `abortProc` is asked once per pixel before that pixel is written; when it
// answers stop, the result word becomes userCanceledErr and mapping ends at
// once. With `reportProgress`, `progressProc` hears once per row where the row
// lies within `filterRect`. A null callback counts as absent.
//
// The deep modes RGB48 and CMYK64 are mapped by the same rules on 16-bit
// samples in the machine's order (full scale 32768): Mix halves the sum of
// two samples, an excluded RGB plane becomes 0 and an excluded CMYK plane
// 32768, no ink. A sample above full scale is taken as it is.
//
// Image modes without an order table (anything but RGB and CMYK at 8 or 16
// bits) get their colour planes copied unchanged, at the mode's sample size,
// so the host receives the image as it was whatever its output buffer held
// before.
//
// Nothing is written and no callback is made when there is no parameter
// block, or when the rectangle has pixels but the buffers cannot hold them
// (the result word then says filterBadParameters): a buffer pointer is null,
// a pixel (inHiPlane - inLoPlane + 1 planes for the input, `planes` for the
// output) has fewer planes than are mapped, or a row stride in bytes is
// smaller than the row (columns times the pixel's planes times the mode's
// bytes per sample). An empty or inverted rectangle maps nothing; one of zero
// width still reports progress for each of its rows.
void MapPixels(Globals* globals, bool reportProgress);

}  // namespace vantrel
