// The pixel mapping on small hand-made buffers, at 8 and 16 bits: the rules
// for every plane, the callbacks and their order, cancellation, and buffers
// the host describes badly. Buffers are sized exactly, so a stray access shows
// under the address sanitizer.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/channel_orders.h"
#include "core/parameters.h"
#include "core/pixel_mapping.h"
#include "host/image_modes.h"

namespace vantrel {
namespace {

constexpr uint8 kDelivered = 0xEE;  // what the host put in the output buffer

// What the callbacks heard, in order: "A" for abortProc, "P done/total".
struct CallLog {
  std::vector<std::string> events;
  int aborts = 0;
  int stopAt = 0;  // the abort call (1-based) that answers stop; 0: never
};
CallLog* gLog = nullptr;

Boolean RecordAbort() {
  gLog->events.push_back("A");
  return ++gLog->aborts == gLog->stopAt ? 1 : 0;
}

void RecordProgress(int32 done, int32 total) {
  char text[32];
  std::snprintf(text, sizeof text, "P%d/%d", int(done), int(total));
  gLog->events.push_back(text);
}

std::vector<std::string> Repeat(const std::string& event, int times) {
  return std::vector<std::string>(size_t(times), event);
}

class MapPixelsTest : public ::testing::Test {
 public:
  FilterRecord record{};
  FilterParameters params{};
  char* master = reinterpret_cast<char*>(&params);
  int16 result = noErr;
  Globals globals{&result, &record, {}};
  std::vector<uint8> in, out;
  int bytes = 1;  // per sample
  CallLog log;

  void SetUp() override {
    gLog = &log;
    record.parameters = &master;
    record.abortProc = RecordAbort;
    record.progressProc = RecordProgress;
  }
  void TearDown() override { gLog = nullptr; }

  // A rows x columns buffer pair of `mode`, `inStride` planes per input pixel
  // and `outStride` per output pixel of `sampleBytes` each, rows `slack` bytes
  // longer than their pixels. The input is filled by `seed`; the output holds
  // kDelivered in every byte.
  void Describe(int16 mode, int16 rows, int16 columns, int16 inStride, int16 outStride, unsigned seed = 1,
                int sampleBytes = 1, int slack = 0) {
    bytes = sampleBytes;
    record.imageMode = mode;
    record.filterRect = {0, 0, rows, columns};
    record.inRect = record.outRect = record.filterRect;
    record.inLoPlane = 0;
    record.inHiPlane = int16(inStride - 1);
    record.planes = outStride;
    record.inRowBytes = columns * inStride * sampleBytes + slack;
    record.outRowBytes = columns * outStride * sampleBytes + slack;
    // Fresh vectors: their allocation is exactly the buffer's size.
    in = std::vector<uint8>(size_t(rows * record.inRowBytes));
    std::mt19937 random(seed);
    for (uint8& b : in) b = uint8(random());
    out = std::vector<uint8>(size_t(rows * record.outRowBytes), kDelivered);
    record.inData = in.data();
    record.outData = out.data();
  }

  uint8* InPixel(int i, int j) { return in.data() + i * record.inRowBytes + j * (record.inHiPlane + 1) * bytes; }
  const uint8* OutPixel(int i, int j) const { return out.data() + i * record.outRowBytes + j * record.planes * bytes; }
  // Plane k of a pixel at the buffers' sample size.
  static uint16 Read(const uint8* pixel, int k, int sampleBytes) {
    if (sampleBytes == 1) return pixel[k];
    uint16 v;
    std::memcpy(&v, pixel + 2 * k, 2);
    return v;
  }
  uint16 In(int i, int j, int k) { return Read(InPixel(i, j), k, bytes); }
  uint16 Out(int i, int j, int k) const { return Read(OutPixel(i, j), k, bytes); }
  void SetIn(int i, int j, int k, uint16 v) {
    if (bytes == 1) InPixel(i, j)[k] = uint8(v);
    else std::memcpy(InPixel(i, j) + 2 * k, &v, 2);
  }
  bool OutputAsDelivered() const {
    for (uint8 b : out)
      if (b != kDelivered) return false;
    return true;
  }
};

// ---- The rules for one pixel, on an even and an odd cell of the checkerboard.

struct RuleCase {
  const char* label;
  int16 mode;
  int16 orderIndex;
  uint8 blendEnabled, blendCross, blendMix;
  uint8 excludeEnabled;
  int16 excludedChannel;
  std::array<uint16, 4> pixel;
  std::array<uint16, 4> even;  // expected at column 0
  std::array<uint16, 4> odd;   // expected at column 1
};

constexpr int16 RGB = plugInModeRGBColor;
constexpr int16 CMYK = plugInModeCMYKColor;
constexpr int16 RGB48 = plugInModeRGB48;
constexpr int16 CMYK64 = plugInModeCMYK64;

bool Deep(int16 mode) { return mode == RGB48 || mode == CMYK64; }
int Planes(int16 mode) { return mode == CMYK || mode == CMYK64 ? 4 : 3; }

// RGB rows: 1 "B R G", 4 "G R B", 23 "G G B". CMYK rows: 18 "K C M Y", 255 "K K K K".
const RuleCase kRules[] = {
    {"OrderOnlyExclusionOff", RGB, 1, 0, 0, 0, 0, 2, {10, 20, 30}, {30, 10, 20}, {30, 10, 20}},
    {"Mix", RGB, 1, 1, 0, 1, 0, 2, {10, 20, 30}, {20, 15, 25}, {20, 15, 25}},
    {"MixRoundsDown", RGB, 4, 1, 0, 1, 0, 2, {11, 20, 30}, {15, 15, 30}, {15, 15, 30}},
    {"Cross", RGB, 1, 1, 1, 0, 0, 2, {10, 20, 30}, {10, 20, 30}, {30, 10, 20}},
    {"CrossWithMix", RGB, 1, 1, 1, 1, 0, 2, {10, 20, 30}, {10, 20, 30}, {20, 15, 25}},
    {"MethodsIgnoredWithoutBlend", RGB, 1, 0, 1, 1, 0, 2, {10, 20, 30}, {30, 10, 20}, {30, 10, 20}},
    {"BlendWithoutMethod", RGB, 1, 1, 0, 0, 0, 2, {10, 20, 30}, {30, 10, 20}, {30, 10, 20}},
    {"RepeatedLetter", RGB, 23, 0, 0, 0, 0, 2, {10, 20, 30}, {20, 20, 30}, {20, 20, 30}},
    {"ExclusionBeatsCross", RGB, 1, 1, 1, 0, 1, 2, {10, 20, 30}, {10, 0, 30}, {30, 0, 20}},
    {"ExclusionBeatsMix", RGB, 1, 1, 0, 1, 1, 1, {10, 20, 30}, {0, 15, 25}, {0, 15, 25}},
    {"ExcludedChannel0", RGB, 1, 0, 0, 0, 1, 0, {10, 20, 30}, {30, 10, 20}, {30, 10, 20}},
    {"ExcludedChannel4OfRgb", RGB, 1, 0, 0, 0, 1, 4, {10, 20, 30}, {30, 10, 20}, {30, 10, 20}},
    {"ExcludedChannelNegative", RGB, 1, 0, 0, 0, 1, -1, {10, 20, 30}, {30, 10, 20}, {30, 10, 20}},
    {"IndexPastRgbTable", RGB, 24, 0, 0, 0, 0, 2, {10, 20, 30}, {10, 20, 30}, {10, 20, 30}},
    {"CmykIndexOnRgb", RGB, 200, 0, 0, 0, 0, 2, {10, 20, 30}, {10, 20, 30}, {10, 20, 30}},
    {"NegativeIndex", RGB, -1, 0, 0, 0, 0, 2, {10, 20, 30}, {10, 20, 30}, {10, 20, 30}},
    {"CmykOrder", CMYK, 18, 0, 0, 0, 0, 2, {10, 20, 30, 40}, {40, 10, 20, 30}, {40, 10, 20, 30}},
    {"CmykExclusionIs255", CMYK, 18, 0, 0, 0, 1, 4, {10, 20, 30, 40}, {40, 10, 20, 255}, {40, 10, 20, 255}},
    {"CmykExclusionBeatsCross", CMYK, 18, 1, 1, 0, 1, 1, {10, 20, 30, 40}, {255, 20, 30, 40}, {255, 10, 20, 30}},
    {"CmykMix", CMYK, 18, 1, 0, 1, 0, 2, {10, 20, 30, 40}, {25, 15, 25, 35}, {25, 15, 25, 35}},
    {"CmykCrossMixExclusion", CMYK, 18, 1, 1, 1, 1, 3, {10, 20, 30, 40}, {10, 20, 255, 40}, {25, 15, 255, 35}},
    {"CmykConstantRow", CMYK, 255, 0, 0, 0, 0, 2, {10, 20, 30, 40}, {40, 40, 40, 40}, {40, 40, 40, 40}},
    {"IndexPastCmykTable", CMYK, 256, 0, 0, 0, 0, 2, {10, 20, 30, 40}, {10, 20, 30, 40}, {10, 20, 30, 40}},
    {"ExcludedChannel5OfCmyk", CMYK, 18, 0, 0, 0, 1, 5, {10, 20, 30, 40}, {40, 10, 20, 30}, {40, 10, 20, 30}},
    // 16-bit samples, full scale 32768; the host may hand over more.
    {"Rgb48Order", RGB48, 1, 0, 0, 0, 0, 2, {1000, 20000, 32768}, {32768, 1000, 20000}, {32768, 1000, 20000}},
    {"Rgb48MixRoundsDown", RGB48, 4, 1, 0, 1, 0, 2, {1001, 20000, 30000}, {10500, 10500, 30000}, {10500, 10500, 30000}},
    {"Rgb48MixAboveFullScale", RGB48, 1, 1, 0, 1, 0, 2, {65535, 65534, 40000}, {52767, 65534, 52767},
     {52767, 65534, 52767}},
    {"Rgb48ExclusionIsZeroOverCross", RGB48, 1, 1, 1, 0, 1, 2, {1000, 2000, 3000}, {1000, 0, 3000}, {3000, 0, 2000}},
    {"Rgb48IndexPastTable", RGB48, 24, 0, 0, 0, 0, 2, {1000, 2000, 3000}, {1000, 2000, 3000}, {1000, 2000, 3000}},
    {"Cmyk64ExclusionIsNoInk", CMYK64, 18, 0, 0, 0, 1, 4, {100, 200, 300, 400}, {400, 100, 200, 32768},
     {400, 100, 200, 32768}},
    {"Cmyk64CrossMixExclusion", CMYK64, 18, 1, 1, 1, 1, 3, {1000, 2000, 3000, 40000}, {1000, 2000, 32768, 40000},
     {20500, 1500, 32768, 21500}},
};

class PixelRules : public MapPixelsTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(PixelRules, EvenAndOddCellsGetTheirValues) {
  const RuleCase& c = GetParam();
  const int n = Planes(c.mode);
  Describe(c.mode, 1, 2, int16(n), int16(n), 1, host::SampleBytes(c.mode));
  for (int j = 0; j < 2; ++j)
    for (int k = 0; k < n; ++k) SetIn(0, j, k, c.pixel[size_t(k)]);
  params.orderIndex = c.orderIndex;
  params.blendEnabled = c.blendEnabled;
  params.blendCross = c.blendCross;
  params.blendMix = c.blendMix;
  params.excludeEnabled = c.excludeEnabled;
  params.excludedChannel = c.excludedChannel;

  MapPixels(&globals, true);

  EXPECT_EQ(result, noErr);
  for (int k = 0; k < n; ++k) {
    EXPECT_EQ(Out(0, 0, k), c.even[size_t(k)]) << "even cell, plane " << k;
    EXPECT_EQ(Out(0, 1, k), c.odd[size_t(k)]) << "odd cell, plane " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PixelRules, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Every order and option against the rules written out plainly.

// The expected value of plane k of pixel (i, j) of the buffer, whose input
// samples are read by `in`.
template <class Input>
uint16 Expected(int16 mode, const FilterParameters& p, Input in, int i, int j, int k) {
  const int n = Planes(mode);
  const int16 index = p.orderIndex >= 0 && p.orderIndex < ChannelOrderCount(mode) ? p.orderIndex : 0;
  if (p.excludeEnabled && k + 1 == p.excludedChannel && p.excludedChannel <= n)
    return n == 3 ? 0 : Deep(mode) ? 32768 : 255;
  if (p.blendEnabled && p.blendCross && (i + j) % 2 == 0) return in(k);
  const uint16 mapped = in(ChannelOrderSource(mode, index, int16(k)));
  if (p.blendEnabled && p.blendMix) return uint16((mapped + in(k)) >> 1);
  return mapped;
}

struct Layout {
  int16 inExtra, outExtra;  // planes per pixel beyond the colour planes
  int slack;                // bytes at the end of each row: 16-bit samples then lie on odd addresses
};

TEST_F(MapPixelsTest, EveryOrderAndOptionFollowsTheRules) {
  const Layout layouts[] = {{0, 0, 0}, {1, 1, 1}, {0, 2, 0}, {2, 0, 3}};
  for (int16 mode : {RGB, CMYK, RGB48, CMYK64}) {
    const int16 n = int16(Planes(mode));
    const int sampleBytes = host::SampleBytes(mode);
    const int step = n == 4 ? 7 : 1;
    for (int16 index = -1; index <= ChannelOrderCount(mode); index = int16(index + step)) {
      for (int blend = 0; blend < 8; ++blend) {
        for (int16 excluded = -1; excluded <= n + 1; ++excluded) {
          const Layout& layout = layouts[size_t(index + blend + excluded + 3) % std::size(layouts)];
          const int16 rows = 3, columns = 5;
          Describe(mode, rows, columns, int16(n + layout.inExtra), int16(n + layout.outExtra),
                   unsigned(index * 100 + blend * 10 + excluded + 20), sampleBytes, layout.slack);
          // A band lower in the image: the checkerboard still starts at the buffer.
          record.filterRect = {0, 0, 30, 40};
          record.outRect = {3, 5, int16(3 + rows), int16(5 + columns)};
          params.orderIndex = index;
          params.blendEnabled = blend & 1;
          params.blendCross = (blend >> 1) & 1;
          params.blendMix = (blend >> 2) & 1;
          params.excludeEnabled = excluded >= 0;
          params.excludedChannel = excluded;

          MapPixels(&globals, true);

          SCOPED_TRACE("mode " + std::to_string(mode) + " row " + std::to_string(index) + " blend " +
                       std::to_string(blend) + " excluded " + std::to_string(excluded));
          ASSERT_EQ(log.aborts, rows * columns);
          const uint16 delivered = sampleBytes == 1 ? kDelivered : uint16(kDelivered * 0x101);
          for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < columns; ++j) {
              for (int k = 0; k < record.planes; ++k) {
                const auto in = [&](int plane) { return In(i, j, plane); };
                const uint16 want = k < n ? Expected(mode, params, in, i, j, k) : delivered;
                ASSERT_EQ(Out(i, j, k), want) << "pixel " << i << "," << j << " plane " << k;
              }
            }
          }
          log = CallLog{};
        }
      }
    }
  }
}

TEST_F(MapPixelsTest, CheckerboardStartsAtEveryBuffersTopLeft) {
  // Two bands of an odd height: the second starts on an odd image row, yet its
  // first pixel is an even cell again.
  params.orderIndex = 1;
  params.blendEnabled = 1;
  params.blendCross = 1;
  for (int16 top : {int16(0), int16(3)}) {
    Describe(RGB, 3, 2, 3, 3, unsigned(top + 1));
    record.filterRect = {0, 0, 6, 2};
    record.outRect = {top, 0, int16(top + 3), 2};
    MapPixels(&globals, true);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 2; ++j) {
        const bool unchanged = std::memcmp(OutPixel(i, j), InPixel(i, j), 3) == 0;
        EXPECT_EQ(unchanged, (i + j) % 2 == 0) << "band at " << top << ", pixel " << i << "," << j;
      }
    }
  }
}

TEST_F(MapPixelsTest, FourthPlaneOfRgbaKeepsWhatWasDelivered) {
  Describe(RGB, 2, 3, 4, 4);
  params.orderIndex = 5;  // "B G R"
  params.blendEnabled = 1;
  params.blendMix = 1;
  MapPixels(&globals, true);
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(OutPixel(i, j)[3], kDelivered);
      EXPECT_EQ(OutPixel(i, j)[0], uint8((InPixel(i, j)[0] + InPixel(i, j)[2]) >> 1));
    }
  }
}

TEST_F(MapPixelsTest, SameBufferInAndOutGivesTheSameResult) {
  params.orderIndex = 13;  // "B R B"
  params.blendEnabled = 1;
  params.blendMix = 1;
  Describe(RGB, 2, 4, 3, 3);
  MapPixels(&globals, false);
  const std::vector<uint8> separate = out;
  record.outData = in.data();
  MapPixels(&globals, false);
  EXPECT_EQ(in, separate);
}

// ---- Callbacks.

TEST_F(MapPixelsTest, ProgressPerRowThenAbortPerPixel) {
  Describe(RGB, 2, 3, 3, 3);
  record.filterRect = {10, 0, 50, 3};
  record.outRect = {20, 0, 22, 3};
  MapPixels(&globals, true);
  const std::vector<std::string> expected = {"P10/40", "A", "A", "A", "P11/40", "A", "A", "A"};
  EXPECT_EQ(log.events, expected);
  EXPECT_EQ(result, noErr);
}

TEST_F(MapPixelsTest, WithoutProgressOnlyAbortIsAsked) {
  Describe(CMYK, 2, 3, 4, 4);
  MapPixels(&globals, false);
  EXPECT_EQ(log.events, Repeat("A", 6));
}

TEST_F(MapPixelsTest, StopEndsMappingAtThatPixel) {
  struct Case {
    int stopAt;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {1, {"P0/2", "A"}},
      {3, {"P0/2", "A", "A", "A"}},
      {5, {"P0/2", "A", "A", "A", "P1/2", "A", "A"}},
      {6, {"P0/2", "A", "A", "A", "P1/2", "A", "A", "A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stop at " + std::to_string(c.stopAt));
    log = CallLog{};
    log.stopAt = c.stopAt;
    result = noErr;
    Describe(RGB, 2, 3, 3, 3);
    params.orderIndex = 1;
    MapPixels(&globals, true);
    EXPECT_EQ(result, userCanceledErr);
    EXPECT_EQ(log.events, c.events);
    for (int p = 0; p < 6; ++p) {
      const bool written = OutPixel(p / 3, p % 3)[0] == InPixel(p / 3, p % 3)[2];
      const bool delivered = std::memcmp(OutPixel(p / 3, p % 3), std::array<uint8, 3>{0xEE, 0xEE, 0xEE}.data(), 3) == 0;
      if (p + 1 < c.stopAt) {
        EXPECT_TRUE(written) << "pixel " << p;
      } else {
        EXPECT_TRUE(delivered) << "pixel " << p;
      }
    }
  }
}

TEST_F(MapPixelsTest, AbsentCallbacksAreNotCalled) {
  Describe(RGB, 2, 3, 3, 3);
  params.orderIndex = 1;
  record.abortProc = nullptr;
  record.progressProc = nullptr;
  MapPixels(&globals, true);
  EXPECT_EQ(result, noErr);
  EXPECT_EQ(OutPixel(1, 2)[0], InPixel(1, 2)[2]);
}

TEST_F(MapPixelsTest, StopWithoutResultWordStillStops) {
  Describe(RGB, 1, 3, 3, 3);
  globals.result = nullptr;
  log.stopAt = 2;
  MapPixels(&globals, true);
  EXPECT_EQ(log.aborts, 2);
  EXPECT_EQ(OutPixel(0, 1)[0], kDelivered);
}

// ---- Rectangles that hold no pixels.

TEST_F(MapPixelsTest, RectanglesWithoutPixels) {
  struct Case {
    const char* label;
    Rect outRect;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"zero height", {1, 0, 1, 3}, {}},
      {"inverted height", {2, 0, 1, 3}, {}},
      {"zero width", {0, 2, 2, 2}, {"P0/2", "P1/2"}},
      {"inverted width", {0, 3, 2, 1}, {"P0/2", "P1/2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    log = CallLog{};
    Describe(RGB, 2, 3, 3, 3);
    record.outRect = c.outRect;
    MapPixels(&globals, true);
    EXPECT_EQ(log.events, c.events);
    EXPECT_TRUE(OutputAsDelivered());
    EXPECT_EQ(result, noErr);
  }
}

TEST_F(MapPixelsTest, ZeroWidthNeedsNoBuffers) {
  Describe(RGB, 2, 3, 3, 3);
  record.outRect = {0, 0, 2, 0};
  record.inData = record.outData = nullptr;
  record.inRowBytes = record.outRowBytes = -1;
  MapPixels(&globals, true);
  EXPECT_EQ(log.events, (std::vector<std::string>{"P0/2", "P1/2"}));
}

// ---- Buffers described badly: refused whole, nothing written, nothing called,
// and the refusal reported.

TEST_F(MapPixelsTest, BuffersThatCannotHoldTheRectangleAreRefused) {
  struct Case {
    const char* label;
    void (*spoil)(MapPixelsTest& t);
  };
  // Each spoiled description comes with a buffer sized to it, so mapping
  // anyway would reach past its end.
  const Case cases[] = {
      {"no input", [](MapPixelsTest& t) { t.record.inData = nullptr; }},
      {"no output", [](MapPixelsTest& t) { t.record.outData = nullptr; }},
      {"input rows short", [](MapPixelsTest& t) {
         t.record.inRowBytes -= 1;
         t.in = std::vector<uint8>(size_t(2 * t.record.inRowBytes));
         t.record.inData = t.in.data();
       }},
      {"output rows short", [](MapPixelsTest& t) {
         t.record.outRowBytes -= 1;
         t.out = std::vector<uint8>(size_t(2 * t.record.outRowBytes), kDelivered);
         t.record.outData = t.out.data();
       }},
      {"negative input rows", [](MapPixelsTest& t) { t.record.inRowBytes = -9; }},
      {"negative output rows", [](MapPixelsTest& t) { t.record.outRowBytes = -9; }},
      {"input pixel of two planes", [](MapPixelsTest& t) {
         t.record.inHiPlane = 1;
         t.record.inRowBytes = 6;
         t.in = std::vector<uint8>(12);
         t.record.inData = t.in.data();
       }},
      {"input planes inverted", [](MapPixelsTest& t) {
         t.record.inLoPlane = 2;
         t.record.inHiPlane = 0;
       }},
      {"output pixel of two planes", [](MapPixelsTest& t) {
         t.record.planes = 2;
         t.record.outRowBytes = 6;
         t.out = std::vector<uint8>(12, kDelivered);
         t.record.outData = t.out.data();
       }},
      {"output of no planes", [](MapPixelsTest& t) { t.record.planes = 0; }},
      // Rows long enough for one byte a sample, in a mode of two.
      {"deep rows counted in samples", [](MapPixelsTest& t) { t.record.imageMode = plugInModeRGB48; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    log = CallLog{};
    master = reinterpret_cast<char*>(&params);
    record.parameters = &master;
    Describe(RGB, 2, 3, 3, 3);
    c.spoil(*this);
    MapPixels(&globals, true);
    EXPECT_TRUE(log.events.empty());
    EXPECT_TRUE(OutputAsDelivered());
    EXPECT_EQ(result, filterBadParameters);
    result = noErr;
  }
}

TEST_F(MapPixelsTest, MissingParameterBlockDoesNothing) {
  // Without a block there is nothing to map by; the call that failed to make
  // it has already reported that.
  for (bool emptyHandle : {false, true}) {
    log = CallLog{};
    master = reinterpret_cast<char*>(&params);
    record.parameters = &master;
    Describe(RGB, 2, 3, 3, 3);
    if (emptyHandle) master = nullptr;
    else record.parameters = nullptr;
    MapPixels(&globals, true);
    EXPECT_TRUE(log.events.empty());
    EXPECT_TRUE(OutputAsDelivered());
    EXPECT_EQ(result, noErr);
  }
}

TEST_F(MapPixelsTest, MissingGlobalsOrRecordDoNothing) {
  MapPixels(nullptr, true);
  Globals noRecord{&result, nullptr, {}};
  MapPixels(&noRecord, true);
  EXPECT_EQ(result, noErr);
}

// ---- Image modes without an order table.

TEST_F(MapPixelsTest, ModesWithoutATableCopyTheirColourPlanes) {
  struct Case {
    int16 mode;
    int colourPlanes;
    int sampleBytes;
  };
  const Case cases[] = {{plugInModeBitmap, 1, 1},    {plugInModeGrayScale, 1, 1}, {plugInModeIndexedColor, 3, 1},
                        {plugInModeMultichannel, 0, 1}, {plugInModeLabColor, 3, 1}, {plugInModeGray16, 1, 2},
                        {plugInModeLab48, 3, 2},     {plugInModeRGB96, 3, 4},     {-1, 0, 1}};
  // Options that would change pixels in a mode with a table.
  params.orderIndex = 1;
  params.blendEnabled = params.blendCross = params.blendMix = 1;
  params.excludeEnabled = 1;
  params.excludedChannel = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    log = CallLog{};
    Describe(c.mode, 2, 2, 5, 5, 1, c.sampleBytes);
    MapPixels(&globals, true);
    EXPECT_EQ(log.aborts, 4);
    const int copied = c.colourPlanes * c.sampleBytes;
    for (int i = 0; i < 2; ++i) {
      for (int j = 0; j < 2; ++j) {
        for (int b = 0; b < 5 * c.sampleBytes; ++b) {
          EXPECT_EQ(OutPixel(i, j)[b], b < copied ? InPixel(i, j)[b] : kDelivered) << "byte " << b;
        }
      }
    }
  }
}

TEST_F(MapPixelsTest, ModeWithoutColourPlanesTouchesNoBuffer) {
  Describe(plugInModeMultichannel, 2, 2, 3, 3);
  record.inData = record.outData = nullptr;
  MapPixels(&globals, true);
  EXPECT_EQ(log.events, (std::vector<std::string>{"P0/2", "A", "A", "P1/2", "A", "A"}));
}

}  // namespace
}  // namespace vantrel
