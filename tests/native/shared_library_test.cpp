// The native shared library exports the entry point and nothing else of ours.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "hostinfo/about_box.h"
#include "runner/host.h"
#include "tests/support/loaded_filter.h"

namespace vantrel {
namespace {

TEST(SharedLibrary, ExportsEntryPointOnly) {
  void* library = dlopen(VANTREL_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_NE(dlsym(library, "ENTRYPOINT"), nullptr);
  EXPECT_EQ(dlsym(library, "_ZN7vantrel16EnsureParametersEPNS_7GlobalsE"),
            nullptr);
  dlclose(library);
}

TEST(AboutStandIn, RecordsOwnerAndTextIds) {
  runner::Host host(testing::ReloadFilter());
  const int before = hostinfo::LastAboutBox().calls;
  host.CallAbout(0x1234);
  const auto shown = hostinfo::LastAboutBox();
  EXPECT_EQ(shown.calls, before + 1);
  EXPECT_EQ(shown.ownerWindow, 0x1234);
  EXPECT_EQ(shown.textId, 16000);
  EXPECT_EQ(shown.captionId, 16001);
}

}  // namespace
}  // namespace vantrel
