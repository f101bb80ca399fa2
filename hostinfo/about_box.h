// The about box: a modal information message whose text and caption come from
// the library's string table.
#pragma once

#include "core/collaborators.h"
#include "records/host_records.h"

namespace vantrel::hostinfo {

// ShowAboutBox is declared with the core, which calls it.

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
