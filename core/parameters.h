// The filter's persistent parameter block, kept by the host in its
// `parameters` handle from one run to the next.
#pragma once

#include <cstddef>

#include "core/globals.h"
#include "records/host_records.h"

namespace vantrel {

// Stored by hosts between runs: field order, widths and natural alignment are
// part of the interface and must not change.
struct FilterParameters {
  int16 amount;           // carried by the scripting key 'Amnt'
  int16 previewOffsetH;   // preview pan from the centred position, image pixels
  int16 previewOffsetV;
  Rect savedFilterRect;   // the host's filterRect, kept while the dialog fetches
  uint8 showDialog;       // the next start shows the dialog
  int16 bandRows;         // rows per band of the filtering drive
  uint32 modeCode;        // carried by the scripting key 'disP'
  uint8 entIFlag;         // carried by the scripting key 'entI'
  uint8 previewAvailable; // this run uses the advanceState drive and live preview
  uint8 hostIsPremiere;   // the host was identified as 'PrMr'
  int16 zoomFactor;       // preview sampling factor, at least 1
  int16 orderIndex;       // row of the channel order table
  uint8 blendCross;
  uint8 blendMix;
  uint8 blendEnabled;
  uint8 excludeEnabled;
  int16 excludedChannel;  // 1-based plane cleared when exclusion is on
};

static_assert(offsetof(FilterParameters, amount) == 0);
static_assert(offsetof(FilterParameters, previewOffsetH) == 2);
static_assert(offsetof(FilterParameters, previewOffsetV) == 4);
static_assert(offsetof(FilterParameters, savedFilterRect) == 6);
static_assert(offsetof(FilterParameters, showDialog) == 14);
static_assert(offsetof(FilterParameters, bandRows) == 16);
static_assert(offsetof(FilterParameters, modeCode) == 20);
static_assert(offsetof(FilterParameters, entIFlag) == 24);
static_assert(offsetof(FilterParameters, previewAvailable) == 25);
static_assert(offsetof(FilterParameters, hostIsPremiere) == 26);
static_assert(offsetof(FilterParameters, zoomFactor) == 28);
static_assert(offsetof(FilterParameters, orderIndex) == 30);
static_assert(offsetof(FilterParameters, blendCross) == 32);
static_assert(offsetof(FilterParameters, blendMix) == 33);
static_assert(offsetof(FilterParameters, blendEnabled) == 34);
static_assert(offsetof(FilterParameters, excludeEnabled) == 35);
static_assert(offsetof(FilterParameters, excludedChannel) == 36);
static_assert(sizeof(FilterParameters) == 40);

constexpr int16 kDefaultAmount = 50;
constexpr int16 kDefaultBandRows = 1;
constexpr uint32 kDefaultModeCode = FourCC("moD1");
constexpr int16 kDefaultZoomFactor = 1;
constexpr int16 kDefaultExcludedChannel = 2;
constexpr uint32 kPremiereSignature = FourCC("PrMr");

// The block behind the record's `parameters` handle, reached through its
// master pointer, or nullptr when there is none that can hold ours: no handle,
// no data behind its master pointer, or data that the host suite measures at
// a positive size smaller than the block. A size of 0 or less is no measure
// (one host answers 0 for every handle its own suite made), and where no
// suite can be asked there is none either: such a block with data is taken.
FilterParameters* ParametersOf(const FilterRecord* record);

// The block this call works on: the one EnsureParameters accepted or made
// earlier in the run while the record still holds its handle, else what
// ParametersOf finds. nullptr when there is none.
FilterParameters* BlockOf(const Globals* globals);

// Makes sure a usable block exists and answers it. When the host has none,
// or hands back one that cannot hold ours, a new block with the defaults
// takes its place in the record; the host's own handle is left to the host.
// The handle is kept in the Globals for the rest of the run. Answers nullptr,
// with memFullErr in the result word, when no new block can be had.
FilterParameters* EnsureParameters(Globals* globals);

}  // namespace vantrel
