#include "tests/support/loaded_filter.h"

namespace vantrel::testing {

void WithMessageBoxesDismissed(void (*action)(void*), void* context) { action(context); }

}  // namespace vantrel::testing
