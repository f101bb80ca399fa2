// The filter under test, loaded once per test program: linked in natively,
// Vantrel.8bf under Wine.
#pragma once

#include "runner/filter_loader.h"

namespace vantrel::testing {

// The entry point of the filter, loading it on first use. Fails the calling
// test when the filter cannot be loaded.
runner::EntryProc FilterEntry();

// Starts a fresh load of the filter, so that library-wide state from earlier
// tests is gone.
runner::EntryProc ReloadFilter();

// Runs `action` while closing every message box this process shows, as a user
// pressing OK would. Natively there are none and `action` just runs.
void WithMessageBoxesDismissed(void (*action)(void*), void* context);

}  // namespace vantrel::testing
