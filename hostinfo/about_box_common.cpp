// The owner window of the about box, taken from the host's about record.
#include "hostinfo/about_box_common.h"

namespace vantrel::hostinfo {

intptr_t AboutOwnerWindow(const AboutRecord* about) {
  if (about == nullptr || about->platformData == nullptr) return 0;
  return static_cast<const PlatformData*>(about->platformData)->hwnd;
}

}  // namespace vantrel::hostinfo
