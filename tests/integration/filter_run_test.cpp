// Whole runs through ENTRYPOINT, as a host drives them: both drives, RGB, RGBA
// and CMYK at 8 and 16 bits, odd band heights, cancellation, the habits of
// real hosts, and bad requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/parameters.h"
#include "host/image_modes.h"
#include "runner/host.h"
#include "tests/support/test_host.h"
#include "tests/support/loaded_filter.h"

namespace vantrel {
namespace {

using Host = testing::TestHost;
using runner::Image;

using host::CmykMode;
using host::DeepMode;

// A deterministic image whose planes all differ from pixel to pixel. At 16
// bits its samples use the low bits too and reach a little past full scale,
// as a host may hand them over.
Image Pattern(int16 width, int16 height, int16 planes, int16 sampleBytes = 1) {
  Image image(width, height, planes, sampleBytes);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < planes; ++k)
        image.SetSample(y, x, k,
                        sampleBytes == 1 ? static_cast<uint8>(x * 7 + y * 13 + k * 61 + 3)
                                         : static_cast<uint16>((x * 7919 + y * 4091 + k * 15013 + 3) % 34000));
  return image;
}

struct Settings {
  int16 orderIndex = 0;
  bool blend = false, cross = false, mix = false;
  bool exclude = false;
  int16 excludedChannel = 2;
};

// The expected result, worked out from the rules independently of the filter:
// `sources` is the order's source plane per output plane, `bandRows` the
// height of the buffers the image travelled in (the Cross checkerboard starts
// again in each).
Image Expected(const Image& src, int16 colours, const std::array<int, 4>& sources, const Settings& s,
               int bandRows, uint16 cleared) {
  Image out = src;
  for (int y = 0; y < src.height; ++y) {
    for (int x = 0; x < src.width; ++x) {
      const auto p = [&](int k) { return src.Sample(y, x, k); };
      const int i = y % bandRows;
      for (int k = 0; k < colours; ++k) {
        uint16 v = p(sources[k]);
        if (s.exclude && k + 1 == s.excludedChannel)
          v = cleared;
        else if (s.blend && s.cross && (i + x) % 2 == 0)
          v = p(k);
        else if (s.blend && s.mix)
          v = static_cast<uint16>((p(sources[k]) + p(k)) >> 1);
        out.SetSample(y, x, k, v);
      }
    }
  }
  return out;
}

// What an excluded plane becomes: no ink in CMYK, at either depth.
uint16 Cleared(int16 mode) { return !CmykMode(mode) ? 0 : DeepMode(mode) ? 32768 : 255; }

FilterParameters* Block(Host& host) { return reinterpret_cast<FilterParameters*>(*host.record().parameters); }

void Configure(FilterParameters* b, const Settings& s) {
  b->orderIndex = s.orderIndex;
  b->blendEnabled = s.blend;
  b->blendCross = s.cross;
  b->blendMix = s.mix;
  b->excludeEnabled = s.exclude;
  b->excludedChannel = s.excludedChannel;
}

// Creates the parameter block through the entry point and applies `s`.
void Configure(Host& host, const Settings& s) {
  host.Call(filterSelectorPrepare);
  Configure(Block(host), s);
}

enum class Drive { AdvanceState, Classic };

struct RunCase {
  const char* name;
  int16 mode, planes;
  Settings settings;
  std::array<int, 4> sources;
};

class WholeRunTest : public ::testing::TestWithParam<std::tuple<RunCase, Drive>> {};

TEST_P(WholeRunTest, GivesThePixelsTheRulesDefine) {
  const auto& [c, drive] = GetParam();
  const int16 width = 23, height = 17;
  Host host(testing::ReloadFilter());
  const int16 sampleBytes = host::SampleBytes(c.mode);
  const Image source = Pattern(width, height, c.planes, sampleBytes);
  host.SetImage(source, c.mode);
  host.OfferAdvanceState(drive == Drive::AdvanceState);
  // A memory offer that makes the classic drive use bands of 5 rows.
  const int32 rowCost = width * (2 * c.planes + 1) * sampleBytes;
  host.record().maxSpace = 5 * rowCost;
  Configure(host, c.settings);
  ASSERT_EQ(host.RunFilter(), noErr);

  const int band = drive == Drive::AdvanceState ? height : 5;
  EXPECT_EQ(Block(host)->bandRows, band);
  const int16 colours = host::ColourPlanes(c.mode);
  const Image expected = Expected(source, colours, c.sources, c.settings, band, Cleared(c.mode));
  ASSERT_EQ(host.destination().pixels.size(), expected.pixels.size());
  EXPECT_EQ(host.destination().pixels, expected.pixels);
  if (drive == Drive::Classic) {
    EXPECT_EQ(host.continueCalls(), 4);  // rows 0, 5, 10, 15
    EXPECT_EQ(host.advanceStateCalls(), 0);
  } else {
    EXPECT_EQ(host.continueCalls(), 0);
    EXPECT_EQ(host.advanceStateCalls(), 1);
  }
  // One progress report per row of every band (the last band of 5 reaches
  // past the image), and abort asked once per pixel at least.
  EXPECT_EQ(host.progressCalls().size(), std::size_t(drive == Drive::Classic ? 20 : height));
  EXPECT_GE(host.abortCalls(), width * height);
}

Settings Order(int16 index) {
  Settings s;
  s.orderIndex = index;
  return s;
}
Settings With(Settings s, bool cross, bool mix) {
  s.blend = true;
  s.cross = cross;
  s.mix = mix;
  return s;
}
Settings Excluding(Settings s, int16 channel) {
  s.exclude = true;
  s.excludedChannel = channel;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Images, WholeRunTest,
    ::testing::Combine(
        ::testing::Values(
            RunCase{"RgbBRG", 3, 3, Order(1), {2, 0, 1, 0}}, RunCase{"RgbBGR", 3, 3, Order(5), {2, 1, 0, 0}},
            RunCase{"RgbMix", 3, 3, With(Order(4), false, true), {1, 0, 2, 0}},
            RunCase{"RgbCross", 3, 3, With(Order(1), true, false), {2, 0, 1, 0}},
            RunCase{"RgbCrossAndMix", 3, 3, With(Order(1), true, true), {2, 0, 1, 0}},
            RunCase{"RgbExcludeOverCross", 3, 3, Excluding(With(Order(1), true, false), 2), {2, 0, 1, 0}},
            RunCase{"RgbOrderOutOfRangeUsesRowZero", 3, 3, Order(200), {0, 1, 2, 0}},
            RunCase{"RgbaKeepsTransparency", 3, 4, With(Order(2), false, true), {1, 2, 0, 0}},
            RunCase{"CmykCMKY", 4, 4, Order(1), {0, 1, 3, 2}},
            RunCase{"CmykKKKK", 4, 4, Order(255), {3, 3, 3, 3}},
            RunCase{"CmykExcludeK", 4, 4, Excluding(Order(23), 4), {3, 2, 1, 0}},
            RunCase{"CmykCross", 4, 4, With(Order(116), true, false), {1, 2, 0, 2}},
            RunCase{"CmykExcludedOutOfRange", 4, 4, Excluding(Order(24), 5), {0, 0, 1, 2}},
            RunCase{"Rgb48BRG", 11, 3, Order(1), {2, 0, 1, 0}},
            RunCase{"Rgb48CrossAndMix", 11, 3, With(Order(1), true, true), {2, 0, 1, 0}},
            RunCase{"Rgb48ExcludeOverCross", 11, 3, Excluding(With(Order(4), true, false), 2), {1, 0, 2, 0}},
            RunCase{"Rgb48aKeepsTransparency", 11, 4, With(Order(2), false, true), {1, 2, 0, 0}},
            RunCase{"Cmyk64KCMY", 13, 4, Order(18), {3, 0, 1, 2}},
            RunCase{"Cmyk64ExcludeKOverMix", 13, 4, Excluding(With(Order(23), false, true), 4), {3, 2, 1, 0}},
            RunCase{"Cmyk64Cross", 13, 4, With(Order(116), true, false), {1, 2, 0, 2}}),
        ::testing::Values(Drive::AdvanceState, Drive::Classic)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == Drive::Classic ? "Classic" : "AdvanceState");
    });

TEST(WholeRun, BothDrivesAgreeWhenNoCheckerboardIsInvolved) {
  runner::ImageBytes results[2];
  for (int d = 0; d < 2; ++d) {
    Host host(testing::ReloadFilter());
    host.SetImage(Pattern(31, 9, 3), plugInModeRGBColor);
    host.OfferAdvanceState(d == 0);
    host.record().maxSpace = 2 * 31 * 7;
    Settings s = With(Order(7), false, true);
    Configure(host, s);
    ASSERT_EQ(host.RunFilter(), noErr);
    results[d] = host.destination().pixels;
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST(WholeRun, HostWithoutDisplayPixelsGetsTheClassicDrive) {
  Host host(testing::ReloadFilter());
  host.SetImage(Pattern(8, 8, 3), plugInModeRGBColor);
  host.OfferDisplayPixels(false);
  Configure(host, Order(1));
  ASSERT_EQ(host.RunFilter(), noErr);
  EXPECT_EQ(host.advanceStateCalls(), 0);
  EXPECT_GT(host.continueCalls(), 0);
  EXPECT_EQ(Block(host)->previewAvailable, 0);
}

TEST(WholeRun, BlockMadeUnderThePremiereHostKeepsTheClassicDrive) {
  Host host(testing::ReloadFilter());
  const Image source = Pattern(8, 8, 3);
  host.SetImage(source, plugInModeRGBColor);
  Configure(host, Order(1));
  Block(host)->hostIsPremiere = 1;
  ASSERT_EQ(host.RunFilter(), noErr);
  EXPECT_EQ(host.advanceStateCalls(), 0);
  EXPECT_GT(host.continueCalls(), 0);
  EXPECT_EQ(Block(host)->previewAvailable, 0);
  EXPECT_EQ(host.destination().At(7, 7)[0], source.At(7, 7)[2]);
}

TEST(WholeRun, FilterRectangleInsideTheImageLeavesTheRestAlone) {
  for (bool advance : {true, false}) {
    Host host(testing::ReloadFilter());
    const Image source = Pattern(20, 20, 3);
    host.SetImage(source, plugInModeRGBColor, Rect{3, 4, 15, 11});
    host.OfferAdvanceState(advance);
    host.record().maxSpace = 5 * 7 * 7;  // bands of 5 rows: the last reaches past row 15
    Configure(host, Order(1));
    ASSERT_EQ(host.RunFilter(), noErr);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const bool inside = y >= 3 && y < 15 && x >= 4 && x < 11;
        const uint8* s = source.At(y, x);
        const uint8* d = host.destination().At(y, x);
        if (inside)
          EXPECT_EQ(d[0], s[2]) << y << "," << x;
        else
          EXPECT_EQ(std::memcmp(d, s, 3), 0) << y << "," << x;
      }
  }
}

// ---- Cancellation.

struct CancelCase {
  const char* name;
  bool advance;
  int abortAfter;
  int rowsWritten;  // whole rows mapped before the stop
};

class CancelTest : public ::testing::TestWithParam<CancelCase> {};

TEST_P(CancelTest, StopsWithUserCanceledAndLeavesTheRestAsDelivered) {
  const CancelCase& c = GetParam();
  const int16 width = 6, height = 8;
  Host host(testing::ReloadFilter());
  const Image source = Pattern(width, height, 3);
  host.SetImage(source, plugInModeRGBColor);
  host.OfferAdvanceState(c.advance);
  host.record().maxSpace = 2 * width * 7;  // classic bands of 2 rows
  Configure(host, Order(1));
  host.AbortAfter(c.abortAfter);
  EXPECT_EQ(host.RunFilter(), userCanceledErr);
  int changedRows = 0;
  for (int y = 0; y < height; ++y) {
    const bool changed = std::memcmp(host.runOutput().At(y, 0), source.At(y, 0), std::size_t(width) * 3) != 0;
    if (changed) ++changedRows;
  }
  EXPECT_LE(changedRows, c.rowsWritten + 1);
  EXPECT_GE(changedRows, c.rowsWritten);
}

INSTANTIATE_TEST_SUITE_P(
    Points, CancelTest,
    ::testing::Values(
        // abortProc is asked once before the band request in the one-pass drive.
        CancelCase{"AdvanceStateBeforeTheBand", true, 0, 0},
        CancelCase{"AdvanceStateFirstPixel", true, 1, 0},
        CancelCase{"AdvanceStateMidImage", true, 1 + 6 * 3 + 2, 3},
        // Classic: continue asks once, then once per pixel of its band.
        CancelCase{"ClassicAtFirstContinue", false, 0, 0},
        CancelCase{"ClassicInsideFirstBand", false, 1 + 6 + 3, 1},
        CancelCase{"ClassicAtSecondContinue", false, 1 + 12, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cancel, AdvanceStateErrorBecomesTheRunResultAndMapsNothing) {
  Host host(testing::ReloadFilter());
  const Image source = Pattern(5, 5, 3);
  host.SetImage(source, plugInModeRGBColor);
  Configure(host, Order(1));
  host.FailAdvanceStateAt(1, memFullErr);
  EXPECT_EQ(host.RunFilter(), memFullErr);
  EXPECT_EQ(host.destination().pixels, source.pixels);
  EXPECT_EQ(host.record().inRect.right, 0);
}

TEST(Cancel, HostWithoutRollBackKeepsWhatACancelledRunWroteAndTheNextRunCompletesIt) {
  Host host(testing::ReloadFilter());
  const Image source = Pattern(6, 8, 3);
  host.SetImage(source, plugInModeRGBColor);
  host.RollBackFailedRuns(false);
  Configure(host, Order(1));
  host.AbortAfter(1 + 6 * 3 + 2);  // three rows into the one-pass drive
  ASSERT_EQ(host.RunFilter(), userCanceledErr);
  EXPECT_EQ(host.destination().pixels, host.runOutput().pixels);
  EXPECT_NE(host.destination().pixels, source.pixels);
  host.AbortAfter(-1);
  ASSERT_EQ(host.RunFilter(), noErr);
  Host rolledBack(testing::ReloadFilter());
  rolledBack.SetImage(source, plugInModeRGBColor);
  Configure(rolledBack, Order(1));
  ASSERT_EQ(rolledBack.RunFilter(), noErr);
  EXPECT_EQ(host.destination().pixels, rolledBack.destination().pixels);
}

// ---- Streamed images: rows served as the requests reach them and handed on
// once no request can change them, by one host or by hosts side by side
// that take turns, as the tool runs pictures wider than a request can be.

// Serves a strip of an image's columns and puts what comes back in
// `output`, checking that rows go each way once, top to bottom.
class StripStream : public runner::RowStream {
 public:
  StripStream(const Image& image, int left, int width, Image& output)
      : image_(image), output_(output), left_(left), bytes_(std::size_t(width) * image.PixelBytes()) {}
  OSErr ReadRows(int32 top, int32 count, uint8* rows, std::ptrdiff_t stride) override {
    EXPECT_EQ(top, read);
    for (int32 i = 0; i < count; ++i) std::memcpy(rows + i * stride, image_.At(top + i, left_), bytes_);
    read = top + count;
    return noErr;
  }
  OSErr WriteRows(int32 top, int32 count, const uint8* rows, std::ptrdiff_t stride) override {
    EXPECT_EQ(top, written);
    starts.push_back(top);
    for (int32 i = 0; i < count; ++i) std::memcpy(output_.At(top + i, left_), rows + i * stride, bytes_);
    written = top + count;
    return noErr;
  }
  int32 read = 0, written = 0;
  std::vector<int32> starts;  // the first row of every handing on

 private:
  const Image& image_;
  Image& output_;
  int left_;
  std::size_t bytes_;
};

struct StreamCase {
  const char* name;
  RunCase image;
  int band;     // rows per band written into the block; 0: the advanceState drive
  int columns;  // hosts side by side, each over an even share of the columns
};

class StreamedRunTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamedRunTest, HandsOnThePixelsTheRulesDefineOneBandAtATime) {
  const StreamCase& c = GetParam();
  const int16 width = 24, height = 17, strip = int16(width / c.columns);
  const Image source = Pattern(width, height, c.image.planes, host::SampleBytes(c.image.mode));
  Image output(width, height, source.planes, source.sampleBytes);
  std::vector<std::unique_ptr<Host>> hosts;
  std::vector<std::unique_ptr<StripStream>> streams;
  for (int k = 0; k < c.columns; ++k) {
    streams.push_back(std::make_unique<StripStream>(source, k * strip, strip, output));
    hosts.push_back(std::make_unique<Host>(testing::ReloadFilter()));
    Host& host = *hosts.back();
    host.StreamImage(Image(strip, height, source.planes, source.sampleBytes), c.image.mode, *streams.back());
    host.OfferAdvanceState(c.band == 0);
    host.BeforeStart([&host, &c] {
      Configure(Block(host), c.image.settings);
      if (c.band > 0) Block(host)->bandRows = int16(c.band);
    });
    ASSERT_EQ(host.StartRun(), noErr);
  }
  for (bool going = true; going;) {
    going = false;
    for (auto& host : hosts) going = host->StepRun() || going;
  }
  for (auto& host : hosts) ASSERT_EQ(host->EndRun(), noErr);

  const int band = c.band == 0 ? height : c.band;
  const Image expected =
      Expected(source, host::ColourPlanes(c.image.mode), c.image.sources, c.image.settings, band, Cleared(c.image.mode));
  EXPECT_EQ(output.pixels, expected.pixels);
  std::vector<int32> bandStarts;
  for (int top = 0; top < height; top += band) bandStarts.push_back(top);
  for (int k = 0; k < c.columns; ++k) {
    EXPECT_EQ(streams[k]->read, height);
    EXPECT_EQ(streams[k]->starts, bandStarts);
    EXPECT_LE(hosts[k]->heldRowsPeak(), band);
  }
}

const RunCase kRgbCrossAndMix{"", 3, 3, With(Order(1), true, true), {2, 0, 1, 0}};

INSTANTIATE_TEST_SUITE_P(
    Images, StreamedRunTest,
    ::testing::Values(StreamCase{"RgbBandsOf4", kRgbCrossAndMix, 4, 1},
                      StreamCase{"RgbOddBandsOf5", kRgbCrossAndMix, 5, 1},
                      StreamCase{"RgbSideBySide", kRgbCrossAndMix, 4, 2},
                      StreamCase{"RgbAdvanceStateSideBySide", kRgbCrossAndMix, 0, 2},
                      StreamCase{"RgbaSideBySide", {"", 3, 4, With(Order(2), false, true), {1, 2, 0, 0}}, 2, 2},
                      StreamCase{"CmykExcludeK", {"", 4, 4, Excluding(Order(23), 4), {3, 2, 1, 0}}, 6, 1},
                      StreamCase{"Rgb48SideBySide", {"", 11, 3, With(Order(1), true, true), {2, 0, 1, 0}}, 4, 2},
                      StreamCase{"Cmyk64Cross", {"", 13, 4, With(Order(116), true, false), {1, 2, 0, 2}}, 6, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A filter of the test's own, for the host's side of streaming: it asks for
// the listed spans of rows, one a call (start, then each continue), with the
// padding given, and writes every buffer's bytes inverted.
struct Requests {
  std::array<std::pair<int16, int16>, 4> spans;  // an empty one ends them
  int16 padding;
};
Requests g_requests;
std::size_t g_nextRequest = 0;

void RequestingEntry(int16 selector, void* record, intptr_t* /*data*/, int16* result) {
  auto* r = static_cast<FilterRecord*>(record);
  *result = noErr;
  if (selector != filterSelectorStart && selector != filterSelectorContinue) return;
  if (selector == filterSelectorContinue && r->outData != nullptr) {
    const int rows = r->outRect.bottom - r->outRect.top, bytes = (r->outRect.right - r->outRect.left) * r->planes;
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < bytes; ++x)
        static_cast<uint8*>(r->outData)[y * r->outRowBytes + x] =
            uint8(255 - static_cast<const uint8*>(r->inData)[y * r->inRowBytes + x]);
  }
  r->inRect = r->outRect = r->maskRect = Rect{0, 0, 0, 0};
  if (g_nextRequest == g_requests.spans.size() || g_requests.spans[g_nextRequest].second == 0) return;
  const auto [top, bottom] = g_requests.spans[g_nextRequest++];
  r->inRect = r->outRect = Rect{top, 0, bottom, r->imageSize.h};
  r->inLoPlane = r->outLoPlane = 0;
  r->inHiPlane = r->outHiPlane = int16(r->planes - 1);
  r->inputPadding = r->outputPadding = g_requests.padding;
}

struct RequestCase {
  const char* name;
  Requests requests;
  OSErr result;
  std::array<int32, 4> starts;  // of the rows handed on; -1 after the last
  int inverted;               // rows 0 to this one, less the skipped ones, come back inverted
  std::pair<int, int> skipped;
};

TEST(StreamedRun, RequestsMustMoveDownAndRowsNoneReachesPassAsTheyCame) {
  static const RequestCase cases[] = {
      {"forward", {{{{0, 4}, {4, 8}, {8, 10}}}, 255}, noErr, {0, 4, 8, -1}, 10, {0, 0}},
      {"overlapping", {{{{0, 4}, {2, 6}}}, 255}, noErr, {0, 2, 6, -1}, 6, {0, 0}},
      {"skipping", {{{{0, 2}, {6, 8}}}, 255}, noErr, {0, 2, 6, 8}, 8, {2, 6}},
      {"edges replicated above and below", {{{{-3, 2}, {2, 9}, {9, 12}, {12, 14}}}, plugInWantsEdgeReplication}, noErr, {0, 2, 9, -1}, 10, {0, 0}},
      {"backward", {{{{4, 8}, {0, 4}}}, 255}, paramErr, {0, -1, -1, -1}, 0, {0, 0}},
      {"below a row handed on", {{{{0, 4}, {4, 8}, {0, 2}}}, 255}, paramErr, {0, -1, -1, -1}, 0, {0, 0}},
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Image source = Pattern(4, 10, 3);
    Image output(4, 10, 3);
    StripStream stream(source, 0, 4, output);
    g_requests = c.requests;
    g_nextRequest = 0;
    Host host(RequestingEntry);
    host.StreamImage(source, plugInModeRGBColor, stream);
    EXPECT_EQ(host.RunFilter(), c.result);
    std::vector<int32> starts(c.starts.begin(), c.starts.end());
    std::erase(starts, -1);
    EXPECT_EQ(stream.starts, starts);
    if (c.result != noErr) continue;
    for (int y = 0; y < 10; ++y) {
      const bool inverted = y < c.inverted && (y < c.skipped.first || y >= c.skipped.second);
      EXPECT_EQ(output.At(y, 1)[2], inverted ? 255 - source.At(y, 1)[2] : source.At(y, 1)[2]) << "row " << y;
    }
  }
}

TEST(StreamedRun, FailedRunHandsOnNoRowAfterTheFailure) {
  const Image source = Pattern(6, 12, 3);
  Image output(6, 12, 3);
  StripStream stream(source, 0, 6, output);
  Host host(testing::ReloadFilter());
  host.StreamImage(source, plugInModeRGBColor, stream);
  host.OfferAdvanceState(false);
  host.BeforeStart([&host] { Block(host)->bandRows = 2; });
  host.AbortAfter(1 + 12 + 1 + 12 + 1 + 3);  // three bands in: continue, then a pixel at a time
  EXPECT_EQ(host.RunFilter(), userCanceledErr);
  EXPECT_EQ(stream.starts, (std::vector<int32>{0, 2}));
}

// ---- Hosts with habits of their own, and bad requests.

TEST(HostHabits, ClampingHostThatRewritesRectanglesGetsTheSamePixels) {
  runner::ImageBytes results[2];
  for (int clamp = 0; clamp < 2; ++clamp) {
    Host host(testing::ReloadFilter());
    host.SetImage(Pattern(9, 10, 3), plugInModeRGBColor);
    host.OfferAdvanceState(false);
    runner::HostHabits habits = host.habits();
    habits.clampRects = clamp == 1;
    host.SetHabits(habits);
    host.record().maxSpace = 4 * 9 * 7;  // bands of 4 rows: the last reaches row 12
    Configure(host, Order(3));
    ASSERT_EQ(host.RunFilter(), noErr);
    results[clamp] = host.destination().pixels;
  }
  EXPECT_EQ(results[0], results[1]);
}

// Whole runs in the habits of the host programs we know: a first run with
// settings written into the block, then a second run that writes none and so
// filters with whatever block the host hands over: the first run's where it
// keeps or restores it, a new one with the defaults where it does not.
//
// Each profile is also held to what its host program is known to answer,
// read through the record and the suites as a plug-in reads them, so that a
// profile cannot drift away from the host it stands for.
struct HostAnswers {
  const char* signature;      // hostSig's four bytes in memory ("" for none)
  int32 newSize;              // getSizeProc of a 40-byte handle just made
  int32 sizeAfterGrowing;     // getSizeProc after setSizeProc to 80 (which answers noErr)
  bool lockableAfterDispose;  // the handle's block still there after disposeProc
  Fixed inputRate;
  bool padding;               // supportsPadding, with paddings of errors on bounds (else 0)
  enum Descriptors { NoRecord, NullSuites, BothSuites } descriptors;
  bool ownerWindow;           // platformData names the host's window (else 0)
  bool errorString;
  bool handsBackDataWord;     // the next run gets the last run's data word
};

struct ProfileCase {
  const char* name;
  runner::HostProfile profile;
  bool keepsBlock;
  HostAnswers answers;
  // Sizes answered by a host that otherwise keeps to the profile.
  std::optional<runner::HandleHabits::Size> sizes = std::nullopt;
};

struct ProfileImage {
  const char* name;
  int16 mode, planes;
};
void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(const ProfileImage& i, std::ostream* os) { *os << i.name; }

// What the filter is handed, read on its way in at each selector.
struct SeenAnswers {
  uint32 hostSig = 0;
  int32 newSize = 0, sizeAfterGrowing = 0;
  OSErr growResult = 0;
  bool lockableAfterDispose = false;
  Fixed inputRate = 0;
  int16 supportsPadding = 0, inputPadding = 0, outputPadding = 0, maskPadding = 0;
  HostAnswers::Descriptors descriptors = HostAnswers::NoRecord;
  intptr_t ownerWindow = 0;
  bool errorString = false;
  intptr_t dataAtParameters = 0;  // the data word the run began with
  intptr_t dataLeft = 0;          // the data word the filter left
  Handle probed = nullptr;        // the handle the probe made and disposed of
};
SeenAnswers g_seen;
runner::EntryProc g_probed = nullptr;

void ProbeEntry(int16 selector, void* record, intptr_t* data, int16* result) {
  auto* r = static_cast<FilterRecord*>(record);
  if (selector == filterSelectorParameters) g_seen.dataAtParameters = *data;
  if (selector == filterSelectorPrepare) {
    SeenAnswers& s = g_seen;
    std::memcpy(&s.hostSig, &r->hostSig, sizeof s.hostSig);
    const HandleProcs* procs = r->handleProcs;
    Handle h = procs->newProc(40);
    s.newSize = procs->getSizeProc(h);
    s.growResult = procs->setSizeProc(h, 80);
    s.sizeAfterGrowing = procs->getSizeProc(h);
    procs->disposeProc(h);
    s.probed = h;
    s.lockableAfterDispose = procs->lockProc(h, 0) != nullptr;
    s.inputRate = r->inputRate;
    s.supportsPadding = r->supportsPadding;
    s.inputPadding = r->inputPadding;
    s.outputPadding = r->outputPadding;
    s.maskPadding = r->maskPadding;
    const PIDescriptorParameters* d = r->descriptorParameters;
    s.descriptors = d == nullptr ? HostAnswers::NoRecord
                    : d->readDescriptorProcs != nullptr && d->writeDescriptorProcs != nullptr ? HostAnswers::BothSuites
                                                                                                : HostAnswers::NullSuites;
    if (d != nullptr && d->readDescriptorProcs != nullptr) {
      EXPECT_NE(d->writeDescriptorProcs, nullptr);
    }
    const auto* platform = static_cast<const PlatformData*>(r->platformData);
    s.ownerWindow = platform != nullptr ? platform->hwnd : -1;
    s.errorString = r->errorString != nullptr;
  }
  g_probed(selector, record, data, result);
  g_seen.dataLeft = *data;
}

runner::EntryProc ReloadProbed() {
  g_probed = testing::ReloadFilter();
  return ProbeEntry;
}

// The record's fields are the host's own only until the filter has run: it
// writes some of them (paddings, rates) for its requests.
void ExpectAnswers(const HostAnswers& a, const SeenAnswers& s, runner::Host& host, bool firstRun) {
  EXPECT_EQ(s.newSize, a.newSize);
  EXPECT_EQ(s.growResult, noErr);
  EXPECT_EQ(s.sizeAfterGrowing, a.sizeAfterGrowing);
  EXPECT_EQ(s.lockableAfterDispose, a.lockableAfterDispose);
  EXPECT_EQ(s.descriptors, a.descriptors);
  EXPECT_EQ(s.ownerWindow, a.ownerWindow ? host.window() : 0);
  EXPECT_EQ(s.errorString, a.errorString);
  if (!firstRun) return;
  uint32 signature = 0;
  std::memcpy(&signature, a.signature, std::strlen(a.signature));
  EXPECT_EQ(s.hostSig, signature);
  EXPECT_EQ(s.inputRate, a.inputRate);
  EXPECT_EQ(s.supportsPadding, a.padding ? 1 : 0);
  for (int16 padding : {s.inputPadding, s.outputPadding, s.maskPadding}) EXPECT_EQ(padding, a.padding ? plugInWantsErrorOnBoundsException : 0);
}

class HostProfileTest : public ::testing::TestWithParam<std::tuple<ProfileCase, Drive, ProfileImage>> {};

TEST_P(HostProfileTest, FirstAndNextRunGiveThePixelsTheRulesDefine) {
  const auto& [c, drive, image] = GetParam();
  const Image source = Pattern(21, 13, image.planes, host::SampleBytes(image.mode));
  Host host(ReloadProbed());
  host.UseProfile(c.profile);
  runner::HostHabits habits = host.habits();
  habits.handles.size = c.sizes.value_or(habits.handles.size);
  host.SetHabits(habits);
  host.SetReloader(ReloadProbed);
  host.SetImage(source, image.mode);
  host.OfferAdvanceState(drive == Drive::AdvanceState);
  const Settings chosen = With(Order(1), true, true);
  intptr_t dataLeft = 0;
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run == 0 ? "first run" : "next run");
    host.BeforeStart([&] {
      if (run == 0) Configure(Block(host), chosen);
    });
    host.ClearHandleEvents();
    g_seen = SeenAnswers{};
    ASSERT_EQ(host.RunFilter(true), noErr);
    ExpectAnswers(c.answers, g_seen, host, run == 0);
    EXPECT_EQ(g_seen.dataAtParameters, run == 1 && c.answers.handsBackDataWord ? dataLeft : 0);
    dataLeft = g_seen.dataLeft;
    const Settings used = run == 0 || c.keepsBlock ? chosen : Settings{};
    const std::array<int, 4> sources = run == 0 || c.keepsBlock ? std::array{2, 0, 1, 0} : std::array{0, 1, 2, 0};
    const Image expected = Expected(source, 3, sources, used, Block(host)->bandRows, 0);
    EXPECT_EQ(host.destination().pixels, expected.pixels);
    EXPECT_EQ(host.fatalCalls(), 0);
    // Every request lies inside the image, so no host's padding (or the
    // GIMP bridge's garbage in its place) can reach the output.
    for (const Rect& asked : host.servedInRects()) {
      if (!runner::NonEmpty(asked)) continue;
      EXPECT_TRUE(asked.top >= 0 && asked.left >= 0 && asked.bottom <= source.height && asked.right <= source.width);
    }
    for (const runner::HandleEvent& e : host.handleEvents()) {
      if (e.kind == runner::HandleEvent::Lock) {
        EXPECT_TRUE(host.OwnsHandle(e.handle) || e.handle == g_seen.probed) << "locked a handle the host lacks";
      }
    }
  }
}

// The answers of the host programs, as their sources show them. The last two
// rows keep the block between runs but cannot tell the size of any handle:
// the block must still be taken for the filter's own.
constexpr HostAnswers kHonest{"", 40, 80, false, 0, true, HostAnswers::BothSuites, true, false, false};
HostAnswers Sized(HostAnswers a, int32 newSize, int32 grown) {
  a.newSize = newSize;
  a.sizeAfterGrowing = grown;
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, HostProfileTest,
    ::testing::Combine(
        ::testing::Values(
            ProfileCase{"Honest", runner::HostProfile::Honest, true, kHonest},
            ProfileCase{"PluginHostDll", runner::HostProfile::PluginHostDll, false,
                        {"spHO", 0, 0, true, kFixedOne, false, HostAnswers::NullSuites, true, true, false}},
            ProfileCase{"GimpBridge", runner::HostProfile::GimpBridge, true,
                        {"GIMP", 40, 80, false, 0, false, HostAnswers::NoRecord, false, false, true}},
            ProfileCase{"DotNetHost", runner::HostProfile::DotNetHost, true,
                        {".PDN", 40, 80, false, kFixedOne, true, HostAnswers::BothSuites, true, true, false}},
            ProfileCase{"KeepsBlockSizesZero", runner::HostProfile::Honest, true, Sized(kHonest, 0, 0),
                        runner::HandleHabits::Size::Zero},
            ProfileCase{"KeepsBlockSizesNegative", runner::HostProfile::Honest, true, Sized(kHonest, -41, -81),
                        runner::HandleHabits::Size::Negative}),
        ::testing::Values(Drive::AdvanceState, Drive::Classic),
        ::testing::Values(ProfileImage{"Rgb", 3, 3}, ProfileImage{"Rgba", 3, 4}, ProfileImage{"Rgb48", 11, 3},
                          ProfileImage{"Rgb48a", 11, 4})),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == Drive::Classic ? "Classic" : "AdvanceState") + std::get<2>(info.param).name;
    });

// When each host program calls finish, by how the run ended, and whether
// it has taken the last output over and its buffers back by then (the
// flush): a host that did offers no buffer at finish. A request the host
// cannot serve leaves no buffer offered either.
enum class Ending { Succeeds, FilterFails, HostCannotServe, Cancelled };

struct FinishSeen {
  int continues = 0;
  int finishes = 0;
  bool buffersAtFinish = false;
};
FinishSeen g_finishSeen;
std::function<void(int16 selector, int16* result)> g_afterCall;

void FinishProbe(int16 selector, void* record, intptr_t* data, int16* result) {
  const auto* r = static_cast<FilterRecord*>(record);
  if (selector == filterSelectorFinish) {
    ++g_finishSeen.finishes;
    g_finishSeen.buffersAtFinish = r->inData != nullptr || r->outData != nullptr;
  }
  g_probed(selector, record, data, result);
  if (selector == filterSelectorContinue) ++g_finishSeen.continues;
  if (g_afterCall) g_afterCall(selector, result);
}

TEST(HostHabits, FinishComesAsEachHostProgramCallsItWhateverTheEnding) {
  using runner::HostProfile;
  // What each host program does at the end of a run that succeeds, that the
  // filter fails, that the host cannot serve and that is cancelled, in that
  // order: 'B' finish with the buffers still offered, 'F' finish after the
  // flush (none offered), '-' no finish, '.' not tried.
  const std::pair<HostProfile, const char*> hosts[] = {
      {HostProfile::Honest, "BBFB"},
      {HostProfile::PluginHostDll, "B-.-"},
      {HostProfile::GimpBridge, "-B.B"},
      {HostProfile::DotNetHost, "FF.F"},
  };
  const Ending endings[] = {Ending::Succeeds, Ending::FilterFails, Ending::HostCannotServe, Ending::Cancelled};
  for (const auto& [profile, seen] : hosts) {
    for (int e = 0; e < 4; ++e) {
      if (seen[e] == '.') continue;
      const Ending ending = endings[e];
      SCOPED_TRACE(std::to_string(int(profile)) + ", ending " + std::to_string(e));
      g_probed = testing::ReloadFilter();
      Host host(FinishProbe);
      host.UseProfile(profile);
      host.SetImage(Pattern(6, 8, 3), plugInModeRGBColor);
      host.OfferAdvanceState(false);
      host.SetRowSlack(3);                 // buffers are copies of the host's own
      host.record().maxSpace = 2 * 6 * 7;  // bands of 2 rows
      Configure(host, Order(1));
      host.AbortAfter(ending == Ending::Cancelled ? 0 : -1);
      g_finishSeen = FinishSeen{};
      g_afterCall = [&](int16 selector, int16* result) {
        if (selector != filterSelectorContinue || g_finishSeen.continues != 2) return;
        if (ending == Ending::FilterFails) *result = memFullErr;
        if (ending == Ending::HostCannotServe) host.LimitBufferBytes(1);
      };
      const OSErr expected = ending == Ending::Succeeds ? noErr : ending == Ending::Cancelled ? userCanceledErr
                                                                                              : memFullErr;
      EXPECT_EQ(host.RunFilter(), expected);
      g_afterCall = nullptr;
      EXPECT_EQ(g_finishSeen.finishes, seen[e] == '-' ? 0 : 1);
      if (seen[e] != '-') {
        EXPECT_EQ(g_finishSeen.buffersAtFinish, seen[e] == 'B');
      }
      if (ending == Ending::HostCannotServe) {
        const void* in = host.record().inData;  // read out of the packed record
        const void* out = host.record().outData;
        EXPECT_EQ(in, nullptr);
        EXPECT_EQ(out, nullptr);
      }
    }
  }
}

TEST(BadRequests, WideStridesEmptyAndInvertedRectanglesAreHandled) {
  struct Case {
    Rect filterRect;
    int32 slack;
  } cases[] = {{Rect{0, 0, 6, 6}, 5}, {Rect{0, 0, 0, 6}, 0}, {Rect{4, 4, 2, 2}, 0}, {Rect{2, 5, 4, 1}, 3}};
  for (const Case& c : cases) {
    for (bool advance : {true, false}) {
      Host host(testing::ReloadFilter());
      const Image source = Pattern(6, 6, 3);
      host.SetImage(source, plugInModeRGBColor, c.filterRect);
      host.OfferAdvanceState(advance);
      host.SetRowSlack(c.slack);
      Configure(host, Order(1));
      EXPECT_EQ(host.RunFilter(), noErr);
      const bool empty = c.filterRect.bottom <= c.filterRect.top || c.filterRect.right <= c.filterRect.left;
      if (empty) EXPECT_EQ(host.destination().pixels, source.pixels);
      else EXPECT_EQ(host.destination().At(5, 5)[0], source.At(5, 5)[2]);
    }
  }
}

TEST(BadRequests, CorruptBandHeightInAStoredBlockStillEndsTheRun) {
  for (int16 stored : {0, -5}) {
    Host host(testing::ReloadFilter());
    host.SetImage(Pattern(4, 6, 3), plugInModeRGBColor);
    host.OfferAdvanceState(false);
    host.record().maxSpace = 1;  // no growth: the stored height is what is used
    Configure(host, Order(1));
    Block(host)->bandRows = stored;
    EXPECT_EQ(host.RunFilter(), noErr);
    EXPECT_EQ(host.continueCalls(), 6);
  }
}

}  // namespace
}  // namespace vantrel
