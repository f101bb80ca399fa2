// Host detection. Until the host's version block is read, no host is
// identified and every query answers 0.
#include "hostinfo/host_detection.h"

namespace vantrel::hostinfo {

uint32 QueryHostVersion(uint32 /*key*/) { return 0; }

}  // namespace vantrel::hostinfo
