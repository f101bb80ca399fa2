#include "tests/support/loaded_filter.h"

#include <gtest/gtest.h>

namespace vantrel::testing {
namespace {
runner::LoadedFilter g_filter;
}

runner::EntryProc FilterEntry() {
  if (g_filter.entry == nullptr) g_filter = runner::LoadFilter();
  EXPECT_NE(g_filter.entry, nullptr) << g_filter.error;
  return g_filter.entry;
}

runner::EntryProc ReloadFilter() {
  runner::UnloadFilter(g_filter);
  runner::ResetLinkedFilterState();
  return FilterEntry();
}

}  // namespace vantrel::testing
