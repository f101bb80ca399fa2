// Pieces of the about box shared by every platform binding.
#pragma once

#include "records/host_records.h"

namespace vantrel::hostinfo {

// The host window named by the about record's platform data, or 0.
intptr_t AboutOwnerWindow(const AboutRecord* about);

}  // namespace vantrel::hostinfo
