// Whole runs with the parameter dialog, a scripted user acting in it: what OK
// and Cancel leave in the image, and when the dialog is shown. Natively the
// windowless dialog is acted on; under Wine the real one gets messages.
#include <gtest/gtest.h>

#include <vector>

#include "core/parameters.h"
#include "resources/resource_ids.h"
#include "runner/host.h"
#include "tests/support/loaded_filter.h"
#include "tests/support/test_images.h"

namespace vantrel {
namespace {

using runner::DialogStep;
using runner::Host;

FilterParameters* Block(Host& host) { return reinterpret_cast<FilterParameters*>(*host.record().parameters); }

struct DialogRunTest : ::testing::Test {
  Host host{testing::ReloadFilter()};
  const runner::Image source = testing::Pattern(40, 30);
  void SetUp() override { host.SetImage(source, plugInModeRGBColor); }
};

TEST_F(DialogRunTest, OkFiltersWithTheSettingsChosen) {
  host.SetDialogScript({DialogStep::PickRow(testing::kRowBRG), DialogStep::Click(IDC_BLEND),
                        DialogStep::Click(IDC_NUDGE_DOWN), DialogStep::Click(IDC_OK)});
  ASSERT_EQ(host.RunFilter(true), noErr);
  EXPECT_EQ(host.dialogsShown(), 1);
  EXPECT_GE(host.advanceStateCalls(), 3) << "two previews and the run";
  for (int y = 0; y < source.height; ++y)
    for (int x = 0; x < source.width; ++x) {
      const auto expected = testing::MappedRgb(source.At(y, x), testing::kOrderBRG, true);
      const uint8* d = host.destination().At(y, x);
      ASSERT_EQ((std::array<uint8, 3>{d[0], d[1], d[2]}), expected) << y << "," << x;
    }
}

TEST_F(DialogRunTest, CancelFiltersNothingAndKeepsTheOrderChosen) {
  host.SetDialogScript({DialogStep::PickRow(5), DialogStep::Click(IDC_CANCEL)});
  EXPECT_EQ(host.RunFilter(true), userCanceledErr);
  EXPECT_EQ(host.selectorsCalled().back(), filterSelectorStart);
  EXPECT_EQ(Block(host)->orderIndex, 5);
  EXPECT_NE(host.runOutput().pixels, source.pixels) << "the preview wrote into the run's pixels";
  EXPECT_EQ(host.destination().pixels, source.pixels) << "which the host threw away";
}

// When the dialog shows, run after run of one load: `runs` of (parameters
// selector first, the host's playInfo), and the dialogs seen after each.
struct ShownCase {
  const char* name;
  std::vector<std::pair<bool, int16>> runs;
  std::vector<int> shownAfter;
};

class DialogShownTest : public DialogRunTest, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(DialogShownTest, WhenTheHostOrAnEarlierParametersSelectorAsks) {
  const ShownCase& c = GetParam();
  for (std::size_t i = 0; i < c.runs.size(); ++i) {
    host.SetPlayInfo(c.runs[i].second);
    ASSERT_EQ(host.RunFilter(c.runs[i].first), noErr);
    EXPECT_EQ(host.dialogsShown(), c.shownAfter[i]) << "after run " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DialogShownTest,
    ::testing::Values(ShownCase{"NobodyAsks", {{false, plugInDialogDontDisplay}}, {0}},
                      ShownCase{"SilentPlayback", {{false, plugInDialogSilent}}, {0}},
                      ShownCase{"HostAsks", {{false, plugInDialogDisplay}}, {1}},
                      ShownCase{"ParametersSelector", {{true, plugInDialogDontDisplay}}, {1}},
                      ShownCase{"EveryLaterRunOfTheLoad",
                                {{true, plugInDialogDontDisplay}, {false, plugInDialogDontDisplay},
                                 {false, plugInDialogSilent}},
                                {1, 2, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantrel
