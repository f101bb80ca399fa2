// The fixed tables of channel orders offered for RGB and CMYK images, at 8
// and at 16 bits per sample.
#pragma once

#include <string_view>

#include "records/host_records.h"

namespace vantrel {

// One channel order: its display name, the channel letters of the output
// planes separated by single spaces ("B R G", "K C M Y"), and for each output
// plane the source plane it is read from. RGB rows use the first three
// entries of `source`; the fourth is 0.
struct ChannelOrder {
  const char* name;
  uint8 source[4];
};

// Largest plane count of any table row.
constexpr int kMaxOrderPlanes = 4;

// Rows in the table of `imageMode`: 24 for RGB and RGB48, 256 for CMYK and
// CMYK64, 0 for every mode without a table.
int16 ChannelOrderCount(int16 imageMode);

// Planes per row of the table of `imageMode`: 3 for RGB and RGB48, 4 for
// CMYK and CMYK64, 0 for every mode without a table.
int16 ChannelOrderPlanes(int16 imageMode);

// The display name of row `index`; "" (never nullptr) when the mode has no
// table or the index is outside it.
const char* ChannelOrderName(int16 imageMode, int16 index);

// The source plane of output plane `plane` in row `index`; -1 when the mode
// has no table or the index or the plane is outside it. Callers that hold a
// stored index bring it into range first.
int16 ChannelOrderSource(int16 imageMode, int16 index, int16 plane);

// The row of the table of `imageMode` whose name is `name`, spaces and case
// aside ("bgr" and "b g r" name "B G R"); -1 when there is none.
int16 ChannelOrderNamed(int16 imageMode, std::string_view name);

// Whether row `index` takes every channel once: a true swap of the planes,
// which loses nothing, where the other rows repeat a channel in place of
// another. Six of the 24 RGB rows, 24 of the 256 CMYK rows.
bool ChannelOrderTakesEachOnce(int16 imageMode, int16 index);

}  // namespace vantrel
