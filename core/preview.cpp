// The preview window: its geometry within the filter rectangle and the
// request that makes the host deliver it sampled.
#include "core/preview.h"

#include <algorithm>

#include "core/parameters.h"
#include "core/pixel_mapping.h"

namespace vantrel {
namespace {

int16 ToInt16(int32 v) { return static_cast<int16>(std::clamp<int32>(v, -32768, 32767)); }

// Narrows [lo, hi) to `extent` pixels centred in the saved span and moved by
// `offset`, when the span is at least that wide; else leaves it whole.
void Crop(int16& lo, int16& hi, int32 savedExtent, int32 extent, int16 offset) {
  if (hi - lo < extent) return;
  const int32 shift = (savedExtent - extent) / 2 + offset;
  hi = ToInt16(lo + extent + shift);
  lo = ToInt16(lo + shift);
}

}  // namespace

int16 FetchPreview(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  FilterParameters* block = BlockOf(globals);
  if (block == nullptr) return *globals->result = filterBadParameters;
  const int32 zoom = std::max<int32>(block->zoomFactor, 1);

  block->savedFilterRect = record->filterRect;
  const Rect& saved = block->savedFilterRect;
  Rect& window = record->filterRect;
  Crop(window.left, window.right, saved.right - saved.left, zoom * globals->previewFrame.right,
       block->previewOffsetH);
  Crop(window.top, window.bottom, saved.bottom - saved.top, zoom * globals->previewFrame.bottom,
       block->previewOffsetV);

  const Rect sampled{static_cast<int16>(window.top / zoom), static_cast<int16>(window.left / zoom),
                     static_cast<int16>(window.bottom / zoom), static_cast<int16>(window.right / zoom)};
  record->inRect = record->outRect = record->maskRect = sampled;
  record->inLoPlane = record->outLoPlane = 0;
  record->inHiPlane = record->outHiPlane = static_cast<int16>(record->planes - 1);
  record->inputRate = record->maskRate = zoom * kFixedOne;
  record->inputPadding = record->outputPadding = record->maskPadding = 255;

  *globals->result = record->advanceState();
  return *globals->result;
}

void MapPreview(Globals* globals, bool reportProgress) {
  const FilterParameters* block = BlockOf(globals);
  if (block != nullptr && block->previewAvailable) MapPixels(globals, reportProgress);
}

}  // namespace vantrel
