// The parameter dialog's behaviour, driven through a recording view with our
// own host: the controls it shows, what each action asks of the host, the
// preview's navigation and painting, OK and Cancel.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "core/parameters.h"
#include "dialog/dialog_controller.h"
#include "dialog/recording_view.h"
#include "host/handles.h"
#include "resources/resource_ids.h"
#include "runner/host.h"
#include "tests/support/test_host.h"
#include "tests/support/loaded_filter.h"
#include "tests/support/test_images.h"

namespace vantrel {
namespace {

using dialog::DialogController;
using dialog::PixelPoint;
using dialog::PixelRect;
using dialog::RecordingView;
using dialog::SimulatedUser;
using Host = testing::TestHost;

// A large image: at 1:1 the preview window (230 x 236 proxy pixels with the
// recording view's anchor) leaves margins of 385 columns and 332 rows each
// side, and zooming out is allowed once.
constexpr int16 kWide = 1000, kHigh = 900;

class Target : public dialog::PaintTarget {
 public:
  std::vector<PixelRect> frames;
  void DrawFrame(const PixelRect& r) override { frames.push_back(r); }
  void* PlatformContext() override { return this; }
};

struct DialogFixture : ::testing::Test {
  Host host{testing::FilterEntry()};
  int16 result = noErr;
  Globals globals{&result, &host.record(), {}};
  FilterParameters* block = nullptr;
  RecordingView view;
  DialogController controller{view, &globals};
  SimulatedUser user{controller, view};

  // Opens the dialog on a fresh image; `tweak` edits the block first, as an
  // earlier run would have left it.
  void Open(int16 width = kWide, int16 height = kHigh, int16 mode = plugInModeRGBColor, bool preview = true,
            const std::function<void(FilterParameters&)>& tweak = {}, int16 planes = 0) {
    const bool cmyk = mode == plugInModeCMYKColor || mode == plugInModeCMYK64;
    const runner::Image image = testing::Pattern(width, height, planes != 0 ? planes : cmyk ? 4 : 3);
    const bool deep = mode == plugInModeRGB48 || mode == plugInModeCMYK64;
    host.SetImage(deep ? testing::Deepened(image) : image, mode);
    ASSERT_TRUE(EnsureParameters(&globals));
    block = ParametersOf(&host.record());
    block->previewAvailable = preview;
    if (tweak) tweak(*block);
    controller.Initialise();
  }
  bool Checked(int id) { return view.control(id).checked; }
  bool Enabled(int id) { return view.control(id).enabled; }
  std::pair<int, int> Offsets() const { return {block->previewOffsetH, block->previewOffsetV}; }
  PixelPoint Centre() const {
    const PixelRect& r = controller.navigation().previewRect;
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  // Presses at `from`, drags through `path` and releases, all client pixels.
  void Drag(PixelPoint from, std::initializer_list<PixelPoint> path) {
    view.pointer = from;
    user.PressLeft();
    for (PixelPoint p : path) user.MovePointerTo(p);
    user.ReleaseLeft();
  }
};

// ---------------------------------------------------------------------------
// Initialisation.

constexpr int kChoiceIds[] = {IDC_CHANNEL_1, IDC_CHANNEL_2, IDC_CHANNEL_3, IDC_CHANNEL_4, IDC_BLEND_CROSS,
                              IDC_BLEND_MIX,       IDC_BLEND,     IDC_EXCLUDE,   IDC_ZOOM_IN,   IDC_ZOOM_OUT};

struct InitCase {
  const char* name;
  int16 mode;
  std::function<void(FilterParameters&)> tweak;
  int rows, selected;
  std::set<int> checked, disabled;
  int16 orderIndexAfter, excludedChannelAfter;
  int16 width = kWide, height = kHigh;
};

class InitialStateTest : public DialogFixture, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitialStateTest, ControlsShowTheBlockAndTheImage) {
  const InitCase& c = GetParam();
  Open(c.width, c.height, c.mode, true, c.tweak);
  const auto& list = view.control(IDC_ORDER_LIST);
  EXPECT_EQ(static_cast<int>(list.rows.size()), c.rows);
  const bool cmyk = c.mode == plugInModeCMYKColor || c.mode == plugInModeCMYK64;
  EXPECT_EQ(list.rows.front(), cmyk ? "C M Y K" : "R G B");
  EXPECT_EQ(list.selected, c.selected);
  EXPECT_EQ(view.control(IDC_ORDER_HEADING).text, cmyk ? "C M Y K" : "");
  for (int id : kChoiceIds) {
    EXPECT_EQ(Checked(id), c.checked.count(id) == 1) << "checked " << id;
    EXPECT_EQ(Enabled(id), c.disabled.count(id) == 0) << "enabled " << id;
    EXPECT_EQ(controller.checked(id), Checked(id)) << id;
  }
  EXPECT_EQ(block->orderIndex, c.orderIndexAfter);
  EXPECT_EQ(block->excludedChannel, c.excludedChannelAfter);
  EXPECT_EQ(block->zoomFactor, 1);
}

constexpr int16 kRgb = plugInModeRGBColor, kCmyk = plugInModeCMYKColor;
constexpr int16 kRgb48 = plugInModeRGB48, kCmyk64 = plugInModeCMYK64;
// Checked and grey at an opening with a new block: channel 2 and Mix are
// shown, the channels and methods are grey with their boxes clear, and 1:1
// cannot zoom in.
const std::set<int> kShown = {IDC_CHANNEL_2, IDC_BLEND_MIX};
const std::set<int> kGrey = {IDC_CHANNEL_1,   IDC_CHANNEL_2, IDC_CHANNEL_3, IDC_CHANNEL_4,
                             IDC_BLEND_CROSS, IDC_BLEND_MIX, IDC_ZOOM_IN};
const std::set<int> kGreyChannels = {IDC_CHANNEL_1, IDC_CHANNEL_2, IDC_CHANNEL_3, IDC_CHANNEL_4, IDC_ZOOM_IN};
const std::set<int> kGreyMethods = {IDC_BLEND_CROSS, IDC_BLEND_MIX, IDC_ZOOM_IN};

INSTANTIATE_TEST_SUITE_P(
    Blocks, InitialStateTest,
    ::testing::Values(
        InitCase{"RgbDefaults", kRgb, {}, 24, 0, kShown, kGrey, 0, 2},
        InitCase{"CmykDefaults", kCmyk, {}, 256, 0, kShown, kGrey, 0, 2},
        InitCase{"RgbWithACmykRowShowsRowZeroAndKeepsIt", kRgb, [](FilterParameters& b) { b.orderIndex = 24; }, 24, 0,
                 kShown, kGrey, 24, 2},
        InitCase{"CmykStoredRow", kCmyk, [](FilterParameters& b) { b.orderIndex = 200; }, 256, 200, kShown, kGrey,
                 200, 2},
        InitCase{"RgbFourthChannelBecomesTheSecond", kRgb,
                 [](FilterParameters& b) { b.excludedChannel = 4, b.excludeEnabled = 1; }, 24, 0,
                 {IDC_CHANNEL_2, IDC_BLEND_MIX, IDC_EXCLUDE}, {IDC_CHANNEL_4, IDC_BLEND_CROSS, IDC_BLEND_MIX, IDC_ZOOM_IN},
                 0, 2},
        InitCase{"CmykFourthChannelExcluded", kCmyk,
                 [](FilterParameters& b) { b.excludedChannel = 4, b.excludeEnabled = 1; }, 256, 0,
                 {IDC_CHANNEL_4, IDC_BLEND_MIX, IDC_EXCLUDE}, kGreyMethods, 0, 4},
        // The deep modes show the tables and channels of their 8-bit counterparts.
        InitCase{"Rgb48HasThreeChannels", kRgb48,
                 [](FilterParameters& b) { b.excludedChannel = 4, b.excludeEnabled = 1; }, 24, 0,
                 {IDC_CHANNEL_2, IDC_BLEND_MIX, IDC_EXCLUDE}, {IDC_CHANNEL_4, IDC_BLEND_CROSS, IDC_BLEND_MIX, IDC_ZOOM_IN},
                 0, 2},
        InitCase{"Cmyk64HasFourChannelsAndTheCmykTable", kCmyk64,
                 [](FilterParameters& b) { b.excludedChannel = 4, b.excludeEnabled = 1, b.orderIndex = 200; }, 256,
                 200, {IDC_CHANNEL_4, IDC_BLEND_MIX, IDC_EXCLUDE}, kGreyMethods, 200, 4},
        InitCase{"BlendOnWithCross", kRgb, [](FilterParameters& b) { b.blendEnabled = 1, b.blendCross = 1; }, 24, 0,
                 {IDC_CHANNEL_2, IDC_BLEND_CROSS, IDC_BLEND}, kGreyChannels, 0, 2},
        InitCase{"BlendOnWithoutMethodShowsNone", kRgb, [](FilterParameters& b) { b.blendEnabled = 1; }, 24, 0,
                 {IDC_CHANNEL_2, IDC_BLEND}, kGreyChannels, 0, 2},
        InitCase{"BlendOffShowsBothStoredMethods", kRgb, [](FilterParameters& b) { b.blendCross = 1, b.blendMix = 1; },
                 24, 0, {IDC_CHANNEL_2, IDC_BLEND_CROSS, IDC_BLEND_MIX}, kGrey, 0, 2},
        InitCase{"ImageNoLargerThanThePreviewCannotZoom", kRgb, {}, 24, 0, kShown,
                 {IDC_CHANNEL_1, IDC_CHANNEL_2, IDC_CHANNEL_3, IDC_CHANNEL_4, IDC_BLEND_CROSS, IDC_BLEND_MIX, IDC_ZOOM_IN,
                  IDC_ZOOM_OUT},
                 0, 2, 120, 90}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Settings.

TEST_F(DialogFixture, BlendBoxKeepsTheMethodsAndRereadsThemFromTheButtons) {
  Open();
  user.Click(IDC_BLEND);
  EXPECT_EQ(block->blendEnabled, 1);
  EXPECT_EQ(block->blendMix, 1) << "the method shown becomes the one used";
  EXPECT_TRUE(Enabled(IDC_BLEND_CROSS));
  user.Click(IDC_BLEND_CROSS);
  EXPECT_EQ(block->blendCross, 1);
  EXPECT_EQ(block->blendMix, 0);
  EXPECT_FALSE(Checked(IDC_BLEND_MIX));
  user.Click(IDC_BLEND);
  EXPECT_EQ(block->blendEnabled, 0);
  EXPECT_EQ(block->blendCross, 1);
  EXPECT_FALSE(Enabled(IDC_BLEND_CROSS));
  block->blendCross = 0;  // changed behind the dialog's back: the buttons decide
  user.Click(IDC_BLEND);
  EXPECT_EQ(block->blendCross, 1);
}

TEST_F(DialogFixture, ExclusionOnRgbEnablesThreeChannelsAndTakesTheCheckedOne) {
  Open();
  user.Click(IDC_EXCLUDE);
  EXPECT_EQ(block->excludeEnabled, 1);
  EXPECT_TRUE(Enabled(IDC_CHANNEL_1) && Enabled(IDC_CHANNEL_2) && Enabled(IDC_CHANNEL_3));
  EXPECT_FALSE(Enabled(IDC_CHANNEL_4));
  user.Click(IDC_CHANNEL_3);
  EXPECT_EQ(block->excludedChannel, 3);
  EXPECT_TRUE(Checked(IDC_CHANNEL_3));
  EXPECT_FALSE(Checked(IDC_CHANNEL_2));
  user.Click(IDC_CHANNEL_4);  // disabled: nothing
  EXPECT_EQ(block->excludedChannel, 3);
  user.Click(IDC_EXCLUDE);
  EXPECT_EQ(block->excludeEnabled, 0);
  EXPECT_FALSE(Enabled(IDC_CHANNEL_1));
}

TEST_F(DialogFixture, DisabledControlsDoNothingHoweverTheirCallsArrive) {
  Open();  // the channels and methods are grey, and so is zoom in at 1:1
  FilterParameters before;
  std::memcpy(&before, block, sizeof before);
  for (int id : {IDC_CHANNEL_1, IDC_CHANNEL_3, IDC_CHANNEL_4, IDC_BLEND_CROSS, IDC_BLEND_MIX, IDC_ZOOM_IN, 0})
    controller.Press(id);
  controller.Toggle(IDC_ORDER_LIST, true);
  EXPECT_FALSE(controller.ended());
  EXPECT_EQ(std::memcmp(&before, block, sizeof before), 0);
  EXPECT_EQ(result, noErr);
}

// ---------------------------------------------------------------------------
// What each action asks of the host.

struct WorkCase {
  const char* name;
  std::function<void(DialogFixture&)> setUp, act;
  int fetches;
  bool maps, repaints;
};

class WorkTest : public DialogFixture, public ::testing::WithParamInterface<WorkCase> {};

TEST_P(WorkTest, FetchesMapsAndRepaintsAsTheActionNeeds) {
  const WorkCase& c = GetParam();
  Open();
  if (c.setUp) c.setUp(*this);
  const int fetches = host.advanceStateCalls(), aborts = host.abortCalls();
  const std::size_t repaints = view.invalidated.size();
  c.act(*this);
  EXPECT_EQ(host.advanceStateCalls() - fetches, c.fetches);
  EXPECT_EQ(host.abortCalls() > aborts, c.maps) << "mapping asks abortProc once per pixel";
  EXPECT_EQ(view.invalidated.size() > repaints, c.repaints);
  if (c.repaints) {
    EXPECT_EQ(view.invalidated.back(), controller.navigation().previewRect);
  }
}

void PressInside(DialogFixture& f) {
  f.view.pointer = f.Centre();
  f.user.PressLeft();
}

INSTANTIATE_TEST_SUITE_P(
    Actions, WorkTest,
    ::testing::Values(
        WorkCase{"Order", {}, [](DialogFixture& f) { f.user.PickRow(3); }, 0, true, true},
        WorkCase{"BlendBox", {}, [](DialogFixture& f) { f.user.Click(IDC_BLEND); }, 0, true, true},
        WorkCase{"Method", [](DialogFixture& f) { f.user.Click(IDC_BLEND); },
                 [](DialogFixture& f) { f.user.Click(IDC_BLEND_CROSS); }, 0, true, true},
        WorkCase{"ExclusionBox", {}, [](DialogFixture& f) { f.user.Click(IDC_EXCLUDE); }, 0, true, true},
        WorkCase{"Channel", [](DialogFixture& f) { f.user.Click(IDC_EXCLUDE); },
                 [](DialogFixture& f) { f.user.Click(IDC_CHANNEL_1); }, 0, true, true},
        WorkCase{"Nudge", {}, [](DialogFixture& f) { f.user.Click(IDC_NUDGE_DOWN); }, 1, true, true},
        WorkCase{"ZoomOut", {}, [](DialogFixture& f) { f.user.Click(IDC_ZOOM_OUT); }, 2, true, true},
        WorkCase{"ZoomIn", [](DialogFixture& f) { f.user.Click(IDC_ZOOM_OUT); },
                 [](DialogFixture& f) { f.user.Click(IDC_ZOOM_IN); }, 2, true, true},
        WorkCase{"LeftButtonDown", {}, PressInside, 0, false, false},
        WorkCase{"MoveWhileDragging", PressInside, [](DialogFixture& f) { f.user.MovePointerBy(3, 4); }, 1, false,
                 true},
        WorkCase{"MoveOtherwise", {}, [](DialogFixture& f) { f.user.MovePointerBy(3, 4); }, 0, false, false},
        WorkCase{"LeftButtonUp", PressInside, [](DialogFixture& f) { f.user.ReleaseLeft(); }, 0, true, true},
        WorkCase{"DoubleClick", {},
                 [](DialogFixture& f) {
                   f.view.pointer = f.Centre();
                   f.user.DoubleClickLeft();
                 },
                 1, true, true},
        WorkCase{"Ok", {}, [](DialogFixture& f) { f.user.Click(IDC_OK); }, 0, false, false},
        WorkCase{"Cancel", {}, [](DialogFixture& f) { f.user.Click(IDC_CANCEL); }, 0, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogFixture, WithoutPreviewSupportNothingReachesTheHost) {
  host.OfferDisplayPixels(false);
  Open(kWide, kHigh, plugInModeRGBColor, false);
  const Rect hostRect = host.record().filterRect;
  user.PickRow(2);
  user.Click(IDC_NUDGE_RIGHT);
  user.Click(IDC_ZOOM_OUT);
  Drag(Centre(), {{Centre().x - 5, Centre().y}});
  Target target;
  controller.Paint(target);
  user.Click(IDC_OK);
  EXPECT_EQ(host.advanceStateCalls(), 0);
  EXPECT_TRUE(target.frames.empty());
  EXPECT_EQ(block->orderIndex, 2);
  EXPECT_EQ(block->zoomFactor, 2);
  EXPECT_TRUE(Enabled(IDC_ZOOM_IN));
  EXPECT_EQ(std::memcmp(&host.record().filterRect, &hostRect, sizeof hostRect), 0);
}

// ---------------------------------------------------------------------------
// Navigation.

struct NudgeCase {
  int id;
  int h, v;
};

class NudgeTest : public DialogFixture, public ::testing::WithParamInterface<NudgeCase> {};

TEST_P(NudgeTest, MovesTheWindowFiftyImagePixels) {
  Open();
  user.Click(GetParam().id);
  EXPECT_EQ(Offsets(), std::make_pair(GetParam().h, GetParam().v));
  // The host was asked for the moved window: the centred one is 385 columns
  // and 332 rows in.
  const Rect& asked = host.servedInRects().back();
  EXPECT_EQ(asked.left, 385 + GetParam().h);
  EXPECT_EQ(asked.top, 332 + GetParam().v);
}

INSTANTIATE_TEST_SUITE_P(Ring, NudgeTest,
                         ::testing::Values(NudgeCase{IDC_NUDGE_UP_LEFT, -50, -50}, NudgeCase{IDC_NUDGE_UP, 0, -50},
                                           NudgeCase{IDC_NUDGE_UP_RIGHT, 50, -50}, NudgeCase{IDC_NUDGE_LEFT, -50, 0},
                                           NudgeCase{IDC_NUDGE_RIGHT, 50, 0}, NudgeCase{IDC_NUDGE_DOWN_LEFT, -50, 50},
                                           NudgeCase{IDC_NUDGE_DOWN, 0, 50},
                                           NudgeCase{IDC_NUDGE_DOWN_RIGHT, 50, 50}));

TEST_F(DialogFixture, OffsetsLeftInTheBlockDoNotMoveTheFirstPreview) {
  Open(kWide, kHigh, plugInModeRGBColor, true, [](FilterParameters& b) { b.previewOffsetH = 30000; });
  EXPECT_EQ(host.servedInRects().back().left, 385);
  user.Click(IDC_NUDGE_RIGHT);
  EXPECT_EQ(Offsets(), std::make_pair(50, 0));
}

// Ten nudges one way run into the margin on that side (385 columns and 332
// rows); one nudge back moves at once.
struct MarginCase {
  const char* name;
  int towards, back;
  std::pair<int, int> held, after;
};
void PrintTo(const MarginCase& c, std::ostream* os) { *os << c.name; }

class MarginTest : public DialogFixture, public ::testing::WithParamInterface<MarginCase> {};

TEST_P(MarginTest, NudgesStopAtTheMarginAndComeBackAtOnce) {
  const MarginCase& c = GetParam();
  Open();
  for (int i = 0; i < 10; ++i) user.Click(c.towards);
  EXPECT_EQ(Offsets(), c.held);
  user.Click(c.back);
  EXPECT_EQ(Offsets(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Sides, MarginTest,
    ::testing::Values(MarginCase{"Top", IDC_NUDGE_UP, IDC_NUDGE_DOWN, {0, -332}, {0, -282}},
                      MarginCase{"Bottom", IDC_NUDGE_DOWN, IDC_NUDGE_UP, {0, 332}, {0, 282}},
                      MarginCase{"Left", IDC_NUDGE_LEFT, IDC_NUDGE_RIGHT, {-385, 0}, {-335, 0}},
                      MarginCase{"Right", IDC_NUDGE_RIGHT, IDC_NUDGE_LEFT, {385, 0}, {335, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogFixture, DragPastAMarginReanchorsSoThatReversingMovesAtOnce) {
  Open(300, 300);  // margins of 35 columns and 32 rows each side
  const PixelPoint c = Centre();
  view.pointer = c;
  user.PressLeft();
  EXPECT_TRUE(view.confined);
  EXPECT_TRUE(view.closedHand);
  user.MovePointerTo({c.x + 60, c.y + 10});
  EXPECT_EQ(Offsets(), std::make_pair(-35, -10)) << "the image follows the pointer, held at the margin";
  user.MovePointerTo({c.x + 50, c.y + 10});
  EXPECT_EQ(Offsets(), std::make_pair(-25, -10));
  user.ReleaseLeft();
  EXPECT_FALSE(view.confined);
  EXPECT_FALSE(view.closedHand);
  EXPECT_EQ(controller.navigation().committedH, -25);
  EXPECT_EQ(controller.navigation().committedV, -10);
}

TEST_F(DialogFixture, ADragFollowsThePointerOutsideThePreviewAndEndsAtAnyRelease) {
  Open(300, 300);  // margins of 35 columns and 32 rows each side
  const PixelPoint c = Centre();
  const PixelPoint away{c.x + 1000, c.y - 1000};  // where no confinement holds a browser's pointer
  view.pointer = c;
  user.PressLeft();
  controller.PointerMove(away);
  EXPECT_EQ(Offsets(), std::make_pair(-35, 32));
  controller.PointerUp(away);
  EXPECT_FALSE(controller.navigation().dragging);
  EXPECT_FALSE(view.confined);
  controller.PointerMove(c);
  EXPECT_EQ(Offsets(), std::make_pair(-35, 32)) << "a move after the release drags nothing";
}

TEST_F(DialogFixture, AClickWithoutMovementMovesNothingBeforeOrAfterADrag) {
  Open();
  const PixelPoint c = Centre();
  Drag(c, {});
  EXPECT_EQ(Offsets(), std::make_pair(0, 0));
  Drag(c, {{c.x - 7, c.y + 3}});
  EXPECT_EQ(Offsets(), std::make_pair(7, -3));
  Drag({c.x + 20, c.y}, {});
  EXPECT_EQ(Offsets(), std::make_pair(7, -3));
  user.Click(IDC_NUDGE_RIGHT);
  EXPECT_EQ(Offsets(), std::make_pair(57, -3)) << "nudges start from the committed drag";
}

TEST_F(DialogFixture, DoubleClickRecentresAndForgetsEarlierMovement) {
  Open();
  user.Click(IDC_NUDGE_DOWN_RIGHT);
  Drag(Centre(), {{Centre().x - 9, Centre().y}});
  view.pointer = Centre();
  user.DoubleClickLeft();
  EXPECT_EQ(Offsets(), std::make_pair(0, 0));
  user.Click(IDC_NUDGE_LEFT);
  EXPECT_EQ(Offsets(), std::make_pair(-50, 0));
}

TEST_F(DialogFixture, ZoomOutHalvesAndClampsTheOffsetAndZoomInKeepsIt) {
  Open();
  const PixelPoint c = Centre();
  Drag(c, {{c.x - 51, c.y + 1}});  // 51 right, 1 up
  user.Click(IDC_ZOOM_OUT);
  EXPECT_EQ(block->zoomFactor, 2);
  EXPECT_EQ(Offsets(), std::make_pair(50, 0)) << "each half truncated toward zero";
  for (int i = 0; i < 8; ++i) user.Click(IDC_NUDGE_RIGHT);
  EXPECT_EQ(Offsets().first, 270) << "at 2:1 the window is 460 columns wide: 270 each side";
  user.Click(IDC_ZOOM_IN);
  EXPECT_EQ(block->zoomFactor, 1);
  EXPECT_EQ(Offsets().first, 270);
  EXPECT_EQ(view.focused, IDC_ZOOM_OUT) << "the focus leaves the button that went grey";
  EXPECT_FALSE(Enabled(IDC_ZOOM_IN));
}

TEST_F(DialogFixture, ZoomStopsWhereTheProxyWouldNoLongerFillThePreview) {
  Open();  // 1000 / 4 is below the preview's right edge (284): 3 is the last factor
  user.Click(IDC_ZOOM_OUT);
  EXPECT_TRUE(Enabled(IDC_ZOOM_OUT));
  user.Click(IDC_ZOOM_OUT);
  EXPECT_FALSE(Enabled(IDC_ZOOM_OUT));
  EXPECT_EQ(view.focused, IDC_ZOOM_IN);
  // Presses of the grey buttons, however they arrive, leave the factor.
  controller.Press(IDC_ZOOM_OUT);
  EXPECT_EQ(block->zoomFactor, 3);
  user.Click(IDC_ZOOM_IN);
  user.Click(IDC_ZOOM_IN);
  controller.Press(IDC_ZOOM_IN);
  EXPECT_EQ(block->zoomFactor, 1);
}

TEST_F(DialogFixture, AnImageNoLargerThanThePreviewNeverMoves) {
  Open(120, 90);
  user.Click(IDC_NUDGE_DOWN_RIGHT);
  Drag(Centre(), {{Centre().x - 20, Centre().y - 20}});
  EXPECT_EQ(Offsets(), std::make_pair(0, 0));
  const auto& nav = controller.navigation();
  EXPECT_EQ(nav.marginLeft | nav.marginRight | nav.marginTop | nav.marginBottom, 0);
}

// A press counts on the preview's edges and nowhere beyond them: inside, it
// starts a drag that the move refetches and the double click recentres; outside,
// nothing happens at all.
struct PressCase {
  const char* name;
  PixelPoint (*at)(const PixelRect&);
  bool inside;
};
void PrintTo(const PressCase& c, std::ostream* os) { *os << c.name; }

class PressTest : public DialogFixture, public ::testing::WithParamInterface<PressCase> {};

TEST_P(PressTest, CountsOnTheEdgesAndNotBeyond) {
  const PressCase& c = GetParam();
  Open();
  view.pointer = c.at(controller.navigation().previewRect);
  user.PressLeft();
  EXPECT_EQ(controller.navigation().dragging, c.inside);
  EXPECT_EQ(view.confined, c.inside);
  controller.PointerMove(view.pointer);
  user.ReleaseLeft();
  user.DoubleClickLeft();
  EXPECT_FALSE(controller.navigation().dragging);
  EXPECT_FALSE(view.confined);
  EXPECT_EQ(host.advanceStateCalls(), c.inside ? 3 : 1) << "the first preview, then the move's and the recentring's";
  EXPECT_EQ(view.invalidated.empty(), !c.inside);
}

INSTANTIATE_TEST_SUITE_P(
    Points, PressTest,
    ::testing::Values(
        PressCase{"TopLeftCorner", [](const PixelRect& r) { return PixelPoint{r.left, r.top}; }, true},
        PressCase{"BottomRightCorner", [](const PixelRect& r) { return PixelPoint{r.right, r.bottom}; }, true},
        PressCase{"RightEdge", [](const PixelRect& r) { return PixelPoint{r.right, r.top + 1}; }, true},
        PressCase{"LeftOfTheLeftEdge", [](const PixelRect& r) { return PixelPoint{r.left - 1, r.top}; }, false},
        PressCase{"RightOfTheRightEdge", [](const PixelRect& r) { return PixelPoint{r.right + 1, r.bottom}; }, false},
        PressCase{"AboveTheTopEdge", [](const PixelRect& r) { return PixelPoint{r.right, r.top - 1}; }, false},
        PressCase{"BelowTheBottomEdge", [](const PixelRect& r) { return PixelPoint{r.left, r.bottom + 1}; }, false},
        PressCase{"ClientOrigin", [](const PixelRect&) { return PixelPoint{0, 0}; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Ending the dialog.

TEST_F(DialogFixture, CancelKeepsEditsPutsBackTheHostValuesAndAnswersCancelled) {
  Open(kWide, kHigh, plugInModeRGBColor, true, [](FilterParameters& b) { b.amount = 37, b.entIFlag = 1; });
  const Rect hostRect{0, 0, kHigh, kWide};
  user.PickRow(5);
  user.Click(IDC_NUDGE_RIGHT);
  block->amount = 90;  // whatever changed the scripting values meanwhile
  block->modeCode = FourCC("moD3");
  block->entIFlag = 0;
  view.pointer = Centre();
  user.PressLeft();  // still dragging when the dialog ends
  user.Click(IDC_CANCEL);
  EXPECT_EQ(view.endResult, 2);
  EXPECT_EQ(result, userCanceledErr);
  EXPECT_EQ(block->orderIndex, 5);
  EXPECT_EQ(block->amount, 37);
  EXPECT_EQ(block->modeCode, FourCC("moD1"));
  EXPECT_EQ(block->entIFlag, 1);
  EXPECT_EQ(Offsets(), std::make_pair(0, 0));
  EXPECT_EQ(std::memcmp(&host.record().filterRect, &hostRect, sizeof hostRect), 0);
  EXPECT_FALSE(view.confined) << "the pointer is let go";
}

TEST_F(DialogFixture, OkPutsBackTheHostRectangleAndRecentres) {
  Open();
  user.Click(IDC_NUDGE_LEFT);
  user.Click(IDC_ZOOM_OUT);
  user.Click(IDC_OK);
  EXPECT_EQ(view.endResult, 1);
  EXPECT_EQ(result, noErr);
  const Rect& r = host.record().filterRect;
  EXPECT_EQ(r.bottom, kHigh);
  EXPECT_EQ(r.right, kWide);
  EXPECT_EQ(Offsets(), std::make_pair(0, 0));
  user.Click(IDC_CANCEL);
  EXPECT_EQ(result, noErr) << "an ended dialog takes no more commands";
}

// ---------------------------------------------------------------------------
// Failed fetches.

TEST_F(DialogFixture, FailedFirstFetchTurnsThePreviewOffAndTheDialogStillWorks) {
  host.FailAdvanceStateAt(1, memFullErr);
  Open();
  EXPECT_EQ(block->previewAvailable, 0);
  EXPECT_EQ(result, noErr);
  user.PickRow(4);
  user.Click(IDC_NUDGE_UP);
  Target target;
  controller.Paint(target);
  user.Click(IDC_OK);
  EXPECT_EQ(block->orderIndex, 4);
  EXPECT_EQ(host.advanceStateCalls(), 1);
  EXPECT_TRUE(target.frames.empty());
  EXPECT_EQ(host.record().filterRect.right, kWide) << "the narrowed rectangle is put back";
}

TEST_F(DialogFixture, FailedLaterFetchIsTheResultUntilTheNextOneAndNothingIsMappedOrShown) {
  Open();
  host.FailAdvanceStateAt(2, -1);
  const int aborts = host.abortCalls();
  user.Click(IDC_NUDGE_UP);
  EXPECT_EQ(result, -1);
  user.PickRow(2);
  Target target;
  controller.Paint(target);
  EXPECT_EQ(host.abortCalls(), aborts) << "the host's buffers are not touched";
  EXPECT_TRUE(target.frames.empty());
  host.FailAdvanceStateAt(0, noErr);
  user.Click(IDC_NUDGE_DOWN);
  EXPECT_EQ(result, noErr);
  controller.Paint(target);
  EXPECT_EQ(target.frames.size(), 1u);
}

// ---------------------------------------------------------------------------
// Painting.

TEST_F(DialogFixture, PaintFramesThePlacedProxyAndHandsTheMappedBufferToTheHost) {
  Open(kWide, kHigh, plugInModeRGBColor, true, [](FilterParameters& b) { b.orderIndex = testing::kRowBRG; });
  user.Click(IDC_ZOOM_OUT);
  Target target;
  controller.Paint(target);
  ASSERT_EQ(host.displayCalls().size(), 1u);
  const runner::DisplayCall& call = host.displayCalls()[0];
  const FilterRecord& r = host.record();
  const PixelRect placed = controller.navigation().previewRect;
  // Anchor columns 408..530 and rows 296..436 on the screen, origin (300, 200).
  EXPECT_EQ(placed, (PixelRect{54, 48, 284, 284}));
  ASSERT_EQ(target.frames.size(), 1u);
  EXPECT_EQ(target.frames[0], (PixelRect{53, 47, 285, 285}));
  EXPECT_EQ(call.row, placed.top);
  EXPECT_EQ(call.col, placed.left);
  EXPECT_EQ(call.context, &target);
  EXPECT_EQ(call.map.version, 1);
  EXPECT_EQ(call.map.imageMode, plugInModeRGBColor);
  EXPECT_EQ(call.map.bounds.top, r.outRect.top);
  EXPECT_EQ(call.map.bounds.right, r.outRect.right);
  EXPECT_EQ(call.source.left, r.outRect.left);
  EXPECT_EQ(call.map.rowBytes, r.outRowBytes);
  EXPECT_EQ(call.map.colBytes, 3);
  EXPECT_EQ(call.map.planeBytes, 1);
  const void* outData = r.outData;  // the record packs pointers on 4 bytes
  EXPECT_EQ(call.map.baseAddr, outData);
  EXPECT_FALSE(call.hasMask);
  // What the host drew: every other image pixel of the window, mapped.
  ASSERT_EQ(call.drawn.width, 230);
  ASSERT_EQ(call.drawn.height, 236);
  const runner::Image& source = host.source();
  for (int y = 0; y < call.drawn.height; y += 7)
    for (int x = 0; x < call.drawn.width; x += 5) {
      const auto expected = testing::MappedRgb(source.At((r.outRect.top + y) * 2, (r.outRect.left + x) * 2),
                                               testing::kOrderBRG, false);
      const uint8* drawn = call.drawn.At(y, x);
      ASSERT_EQ((std::array<uint8, 3>{drawn[0], drawn[1], drawn[2]}), expected) << y << "," << x;
    }
}

TEST_F(DialogFixture, SmallProxyIsCentredHalfAPixelUpAndLeft) {
  Open(101, 81);
  Target target;
  controller.Paint(target);
  // (408 + 530 - 101) / 2 - 300 = 118 and (296 + 436 - 81) / 2 - 200 = 125.
  EXPECT_EQ(controller.navigation().previewRect, (PixelRect{118, 125, 219, 206}));
  ASSERT_EQ(target.frames.size(), 1u);
  EXPECT_EQ(target.frames[0], (PixelRect{117, 124, 220, 207}));
}

TEST_F(DialogFixture, BufferThatCannotHoldThePictureIsNeverHandedToTheHost) {
  const std::function<void(FilterRecord&)> spoilers[] = {
      [](FilterRecord& r) { r.outData = nullptr; },
      [](FilterRecord& r) { r.outRowBytes = 3 * (r.outRect.right - r.outRect.left) - 1; },
      [](FilterRecord& r) { r.outHiPlane = 1; },  // two planes of an RGB picture
  };
  for (const auto& spoil : spoilers) {
    Open();
    spoil(host.record());
    Target target;
    controller.Paint(target);
    EXPECT_EQ(host.displayPixelsCalls(), 0);
    EXPECT_TRUE(target.frames.empty());
  }
}

// A deep image's preview is sampled and mapped at 16 bits and drawn from an
// 8-bit picture of it: the host sees the 8-bit map it draws, and the same
// pixels as in the preview of the image at 8 bits (settings whose results
// need no rounding).
struct DeepCase {
  const char* name;
  int16 deepMode, eightBitMode, planes;
};

class DeepPreviewTest : public DialogFixture, public ::testing::WithParamInterface<DeepCase> {};

TEST_P(DeepPreviewTest, LooksLikeTheEightBitPreview) {
  const DeepCase& c = GetParam();
  const auto settings = [](FilterParameters& b) {
    b.orderIndex = testing::kRowBRG;
    b.blendEnabled = b.blendCross = 1;
    b.excludeEnabled = 1;
    b.excludedChannel = 2;
  };
  runner::DisplayCall calls[2];
  for (int deep = 0; deep < 2; ++deep) {
    Open(kWide, kHigh, deep ? c.deepMode : c.eightBitMode, true, settings, c.planes);
    user.Click(IDC_ZOOM_OUT);  // the host samples the deep image one pixel in two
    Target target;
    controller.Paint(target);
    ASSERT_EQ(host.displayCalls().size(), std::size_t(deep + 1));
    calls[deep] = host.displayCalls().back();
  }
  const runner::DisplayCall& eight = calls[0];
  const runner::DisplayCall& drawn = calls[1];
  const int32 width = drawn.source.right - drawn.source.left;
  EXPECT_EQ(drawn.map.imageMode, c.eightBitMode);
  EXPECT_EQ(drawn.map.planeBytes, 1);
  EXPECT_EQ(drawn.map.colBytes, c.planes);
  EXPECT_EQ(drawn.map.rowBytes, width * c.planes);
  EXPECT_NE(drawn.map.baseAddr, static_cast<void*>(host.record().outData)) << "the host's 16-bit buffer itself";
  EXPECT_EQ(drawn.hasMask, eight.hasMask);
  if (drawn.hasMask) {
    EXPECT_EQ(drawn.mask.maskData, static_cast<uint8*>(drawn.map.baseAddr) + c.planes - 1);
    EXPECT_EQ(drawn.mask.colBytes, c.planes);
    EXPECT_EQ(drawn.mask.rowBytes, width * c.planes);
  }
  ASSERT_EQ(drawn.drawn.width, eight.drawn.width);
  ASSERT_EQ(drawn.drawn.height, eight.drawn.height);
  EXPECT_EQ(drawn.drawn.pixels, eight.drawn.pixels);
}

INSTANTIATE_TEST_SUITE_P(Modes, DeepPreviewTest,
                         ::testing::Values(DeepCase{"Rgb48", kRgb48, kRgb, 3},
                                           DeepCase{"Rgb48WithTransparency", kRgb48, kRgb, 4},
                                           DeepCase{"Cmyk64", kCmyk64, kCmyk, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EightBitSample, ScalesFullScaleTo255RoundingAndHoldsAboveIt) {
  const std::pair<uint16, uint8> cases[] = {{0, 0},       {64, 0},      {65, 1},      {128, 1},    {16384, 128},
                                            {32767, 255}, {32768, 255}, {32769, 255}, {65535, 255}};
  for (const auto& [deep, eight] : cases) EXPECT_EQ(dialog::EightBitSample(deep), eight) << deep;
}

struct MaskCase {
  const char* name;
  int16 planes;
  bool floating;
  int maskOffset;  // from outData, or -1 for the host's mask, -2 for none
  int32 colBytes;
};

class MaskTest : public DialogFixture, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(MaskTest, PassesAtMostOneMask) {
  const MaskCase& c = GetParam();
  std::vector<uint8> hostMask(std::size_t(kWide) * kHigh, 128);
  if (c.floating) {
    host.record().isFloating = 1;
    host.record().maskData = hostMask.data();
    host.record().maskRowBytes = kWide;
  }
  Open(kWide, kHigh, plugInModeRGBColor, true, {}, c.planes);
  Target target;
  controller.Paint(target);
  ASSERT_EQ(host.displayCalls().size(), 1u);
  const runner::DisplayCall& call = host.displayCalls()[0];
  ASSERT_EQ(call.hasMask, c.maskOffset != -2);
  if (!call.hasMask) return;
  void* outData = host.record().outData;
  const void* expected =
      c.maskOffset == -1 ? static_cast<void*>(hostMask.data()) : static_cast<uint8*>(outData) + c.maskOffset;
  EXPECT_EQ(call.mask.maskData, expected);
  EXPECT_EQ(call.mask.colBytes, c.colBytes);
  EXPECT_EQ(call.mask.rowBytes, c.floating ? kWide : host.record().outRowBytes);
  EXPECT_EQ(call.mask.next, nullptr);
  EXPECT_EQ(call.mask.maskDescription, 0);
}

INSTANTIATE_TEST_SUITE_P(Layers, MaskTest,
                         ::testing::Values(MaskCase{"FlatImage", 3, false, -2, 0},
                                           MaskCase{"LayerWithTransparency", 4, false, 3, 4},
                                           MaskCase{"FloatingSelection", 4, true, -1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantrel
