// Where there is no window system, each host shows the filter's dialogs
// through the backend it names as its window, whatever other hosts show
// before, during or after; a window that names no live backend gets the
// dialog accepted at once.
#include <gtest/gtest.h>

#include <functional>

#include "core/parameters.h"
#include "dialog/dialog_backend.h"
#include "dialog/recording_view.h"
#include "resources/resource_ids.h"
#include "runner/host.h"
#include "tests/support/loaded_filter.h"
#include "tests/support/test_images.h"

namespace vantrel {
namespace {

using runner::DialogStep;
using runner::Host;

// Counts its dialogs and picks `row` in each, after `during`.
class PickingBackend final : public dialog::DialogBackend {
 public:
  explicit PickingBackend(int16 row) : row_(row) {}
  dialog::DialogView& View() override { return view_; }
  void Run(dialog::DialogController& controller) override {
    ++runs;
    if (during) during();
    controller.PickRow(row_);
    controller.Ok();
  }
  int runs = 0;
  std::function<void()> during;

 private:
  int16 row_;
  dialog::RecordingView view_;
};

FilterParameters* Block(Host& host) { return reinterpret_cast<FilterParameters*>(*host.record().parameters); }

struct HostWithBackend {
  Host host{testing::ReloadFilter()};
  PickingBackend backend;
  explicit HostWithBackend(int16 row) : backend(row) {
    host.SetImage(testing::Pattern(12, 10), plugInModeRGBColor);
    host.LeaveDialogsToPerson(true);
    host.NameWindow(backend.AsWindow());
  }
};

TEST(DialogBackends, EachHostShowsItsDialogsThroughItsOwnWhateverOthersShow) {
  HostWithBackend a(3);
  Host b(testing::ReloadFilter());
  b.SetImage(testing::Pattern(12, 10), plugInModeRGBColor);
  b.SetDialogScript({DialogStep::PickRow(4), DialogStep::Click(IDC_OK)});

  ASSERT_EQ(b.RunFilter(true), noErr);  // another host's dialog first
  ASSERT_EQ(a.host.RunFilter(true), noErr);
  EXPECT_EQ(a.backend.runs, 1);
  EXPECT_EQ(Block(a.host)->orderIndex, 3);

  // Another host's dialog shown while this one's is open.
  a.backend.during = [&] { ASSERT_EQ(b.RunFilter(true), noErr); };
  ASSERT_EQ(a.host.RunFilter(true), noErr);
  a.backend.during = nullptr;
  ASSERT_EQ(a.host.RunFilter(true), noErr);
  EXPECT_EQ(a.backend.runs, 3);
  EXPECT_EQ(b.dialogsShown(), 2);
  EXPECT_EQ(Block(b)->orderIndex, 4);
}

TEST(DialogBackends, AWindowThatNamesNoLiveBackendHasTheDialogAcceptedAtOnce) {
  HostWithBackend a(3);
  intptr_t gone = 0;
  {
    PickingBackend other(5);
    gone = other.AsWindow();
  }
  for (const intptr_t window : {intptr_t(0), gone, intptr_t(0x5678)}) {
    a.host.NameWindow(window);
    ASSERT_EQ(a.host.RunFilter(true), noErr);
    EXPECT_EQ(Block(a.host)->orderIndex, 0) << "nobody picked an order";
  }
  EXPECT_EQ(a.backend.runs, 0);
}

}  // namespace
}  // namespace vantrel
