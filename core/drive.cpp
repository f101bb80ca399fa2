// Filtering drive: the prepare, start and continue selectors.
#include "core/drive.h"

#include <algorithm>
#include <cstdint>

#include "core/collaborators.h"
#include "core/entry.h"
#include "core/parameters.h"
#include "core/pixel_mapping.h"
#include "core/scripting.h"
#include "host/availability.h"
#include "host/image_modes.h"

namespace vantrel {
namespace {

constexpr int32 kInt16Max = 32767;

bool AbortRequested(const FilterRecord* record) {
  return host::CallbackPresent(record->abortProc) && (record->abortProc() & 0xFF) != 0;
}

// A stored band height below one row would never move the band on; a block
// from an older run or another host may hold anything.
int16 UsableBandRows(FilterParameters& block) {
  if (block.bandRows < 1) block.bandRows = 1;
  return block.bandRows;
}

// Coordinates are 16-bit; a band reaching past the largest one stops there
// instead of wrapping round to a negative row.
int16 ClampedRow(int32 row) { return static_cast<int16>(std::min(row, kInt16Max)); }

void RequestAllPlanes(FilterRecord* record) {
  record->inLoPlane = record->outLoPlane = 0;
  record->inHiPlane = record->outHiPlane = static_cast<int16>(record->planes - 1);
  record->inputRate = record->maskRate = kFixedOne;
}

void SetRows(FilterRecord* record, int16 top, int16 bottom) {
  for (Rect* r : {&record->inRect, &record->outRect, &record->maskRect}) {
    r->top = top;
    r->bottom = bottom;
  }
}

}  // namespace

void ClearRects(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  record->inRect = record->outRect = record->maskRect = Rect{0, 0, 0, 0};
}

void DoPrepare(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  record->bufferSpace = 0;
  FilterParameters* block = EnsureParameters(globals);
  if (block == nullptr) return;

  const int16 height = static_cast<int16>(record->filterRect.bottom - record->filterRect.top);
  const int16 width = static_cast<int16>(record->filterRect.right - record->filterRect.left);
  // Products are taken in 64 bits: a tall band of a wide image overflows 32.
  // A row costs its input and output planes and the mask plane; a host that
  // counts no planes (or fewer than none) costs the mask alone. Everything is
  // counted at the mode's sample size, the mask too: hosts are not agreed
  // whether a deep image's mask comes at 8 bits or at the image's depth, and
  // counting the wider keeps the band within the offer either way at the
  // price of at most one byte a pixel. At 8 bits it is one byte a plane.
  const int64_t sampleBytes = host::SampleBytes(record->imageMode);
  const int64_t rowCost = int64_t{width} * (2 * std::max<int64_t>(record->planes, 0) + 1) * sampleBytes;
  const int64_t maxSpace = record->maxSpace;
  int16 rows = UsableBandRows(*block);
  if (rows * rowCost < maxSpace) {
    while (rows < height) {
      ++rows;
      if (rows * rowCost >= maxSpace) break;
    }
  }
  block->bandRows = rows;
  record->maxSpace = static_cast<int32>(std::clamp<int64_t>(rows * rowCost, INT32_MIN, INT32_MAX));
}

void DoStart(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  FilterParameters* block = EnsureParameters(globals);
  if (block == nullptr) return;

  block->previewAvailable = host::CallbackPresent(record->advanceState) &&
                            host::CallbackPresent(record->displayPixels) && !block->hostIsPremiere;
  ReadScriptingParameters(globals);
  if (parametersRequested) block->showDialog = 1;
  if (block->showDialog) {
    dialog::ShowParameterDialog(globals);
    block->showDialog = 0;
  }
  if (*globals->result != noErr) return;

  if (block->previewAvailable)
    FilterWithAdvanceState(globals, *block);
  else
    SetFirstBand(globals, *block);
}

void FilterWithAdvanceState(Globals* globals, FilterParameters& block) {
  FilterRecord* record = globals->filterRecord;
  RequestAllPlanes(record);
  for (Rect* r : {&record->inRect, &record->outRect, &record->maskRect}) {
    r->left = record->filterRect.left;
    r->right = record->filterRect.right;
  }

  const int16 height = static_cast<int16>(record->filterRect.bottom - record->filterRect.top);
  block.bandRows = height;
  const int32 step = std::max<int32>(height, 1);
  for (int32 top = record->filterRect.top; top < record->filterRect.bottom; top += step) {
    if (AbortRequested(record) || *globals->result != noErr) {
      *globals->result = userCanceledErr;
      break;
    }
    SetRows(record, static_cast<int16>(top), ClampedRow(top + step));
    *globals->result = record->advanceState();
    if (*globals->result != noErr) break;
    MapPixels(globals, true);
  }
  ClearRects(globals);
}

void SetFirstBand(Globals* globals, FilterParameters& block) {
  FilterRecord* record = globals->filterRecord;
  const int16 rows = UsableBandRows(block);
  RequestAllPlanes(record);
  record->inputPadding = record->outputPadding = record->maskPadding = 255;
  record->inRect = record->outRect = record->maskRect = record->filterRect;
  SetRows(record, record->filterRect.top, ClampedRow(int32{record->filterRect.top} + rows));
}

bool NextBand(Globals* globals, FilterParameters& block) {
  FilterRecord* record = globals->filterRecord;
  const int32 rows = UsableBandRows(block);
  const int32 top = int32{record->inRect.top} + rows;
  if (top > kInt16Max) return false;  // no row of the image starts there
  record->inRect.top = static_cast<int16>(top);
  record->inRect.bottom = ClampedRow(int32{record->inRect.bottom} + rows);
  record->maskRect = record->outRect = record->inRect;
  return record->inRect.top < record->filterRect.bottom;
}

void DoContinue(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  if (AbortRequested(record)) {
    *globals->result = userCanceledErr;
    return;
  }
  FilterParameters* block = BlockOf(globals);
  if (block == nullptr || block->previewAvailable) {
    ClearRects(globals);
    return;
  }
  MapPixels(globals, true);
  if (!NextBand(globals, *block)) ClearRects(globals);
}

}  // namespace vantrel
