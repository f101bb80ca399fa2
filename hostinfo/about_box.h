// The about box: a modal information message whose text and caption come from
// the library's string table.
#pragma once

#include "records/host_records.h"

namespace vantrel::hostinfo {

// Shows text `textId` with caption `textId + 1`, owned by the host window named
// in the record's platform data (none when the record or its data is absent).
// Returns when the user has closed the box.
void ShowAboutBox(const AboutRecord* about, void* moduleInstance, int16 textId);

// The last box shown (on Windows) or that would have been shown (where there
// is no message box): its owner, 0 for none, and the ids of its strings.
struct AboutBoxRecord {
  int calls;
  intptr_t ownerWindow;
  int16 textId;
  int16 captionId;
};
AboutBoxRecord LastAboutBox();

}  // namespace vantrel::hostinfo
