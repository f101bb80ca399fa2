// libFuzzer target for the whole entry point: the input becomes a host of our
// runner's making (one of the real hosts' profiles or none, image mode and
// planes, 8- or 16-bit samples, filter rectangle, strides, padding, sampling rate, memory offer,
// handle and descriptor suites and what the handle suite answers, a stored
// descriptor and parameter block, when abort says stop) and a sequence of
// runs and stray selectors driven through ENTRYPOINT. Image memory is
// allocated at its exact size, so the sanitizers see any access past it.
//
// Whatever the input, it checks: pixels outside the filter rectangle come out
// as they went in, every result word is one the filter or this host can give,
// and no handle of the filter's own is left once the host has disposed of the
// run's handles.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/handles.h"
#include "host/image_modes.h"
#include "runner/filter_loader.h"
#include "runner/host.h"
#include "tests/support/test_host.h"

namespace {

using namespace vantrel;
using testing::DescriptorSuiteOffer;
using runner::HandleHabits;
using testing::HandleSuiteOffer;
using runner::HostHabits;
using Host = testing::TestHost;
using runner::HostProfile;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Fallback memory that counts its live blocks: the filter's own handles.
int g_liveBlocks = 0;
void* CountedAlloc(uint32 size) {
  void* block = host::DefaultFallbackMemory().allocZeroed(size);
  if (block != nullptr) ++g_liveBlocks;
  return block;
}
void CountedRelease(void* block) {
  if (block != nullptr) --g_liveBlocks;
  host::DefaultFallbackMemory().release(block);
}

// Codes this host hands the filter to fail with; with the filter's own codes
// they are every result a call may end with.
constexpr OSErr kInjected[] = {paramErr, memFullErr, userCanceledErr, filterBadParameters, errMissingParameter, -1};

bool KnownResult(OSErr code) {
  const OSErr own[] = {noErr, paramErr, memFullErr, userCanceledErr, filterBadParameters, errMissingParameter};
  return std::count(std::begin(own), std::end(own), code) || std::count(std::begin(kInjected), std::end(kInjected), code);
}

// A coordinate near one of the places where 16-bit arithmetic turns.
int16 Coordinate(FuzzedDataProvider& in) {
  const int anchors[] = {0, 0, 8, -40, 32767 - 40, -32768, 16000};
  const int anchor = anchors[in.ConsumeIntegralInRange<size_t>(0, std::size(anchors) - 1)];
  return static_cast<int16>(anchor + in.ConsumeIntegralInRange<int>(-16, 48));
}

// Extents from inverted to somewhat past the image. A far edge is held at
// the 16-bit limits rather than wrapped: a wrapped edge would make a
// rectangle the size of the whole coordinate space, which no host with an
// image this small hands over.
int16 FarEdge(FuzzedDataProvider& in, int16 near) {
  return static_cast<int16>(std::clamp(near + in.ConsumeIntegralInRange<int>(-8, 72), -32768, 32767));
}

Rect FilterRect(FuzzedDataProvider& in) {
  Rect r;
  r.top = Coordinate(in);
  r.left = Coordinate(in);
  r.bottom = FarEdge(in, r.top);
  r.right = FarEdge(in, r.left);
  return r;
}

runner::Descriptor StoredDescriptor(FuzzedDataProvider& in) {
  const uint32 keys[] = {FourCC("Amnt"), FourCC("disP"), FourCC("entI"), 0};
  const uint32 types[] = {FourCC("UntF"), FourCC("enum"), FourCC("bool"), FourCC("long"), FourCC("doub")};
  runner::Descriptor items;
  for (int n = in.ConsumeIntegralInRange<int>(0, 5); n > 0; --n) {
    runner::DescriptorItem item;
    const size_t k = in.ConsumeIntegralInRange<size_t>(0, std::size(keys) - 1);
    item.key = keys[k] != 0 ? keys[k] : in.ConsumeIntegral<uint32>();
    item.type = in.ConsumeBool() ? types[in.ConsumeIntegralInRange<size_t>(0, std::size(types) - 1)]
                                 : in.ConsumeIntegral<uint32>();
    item.unitOrEnumType = in.ConsumeIntegral<uint32>();
    item.number = in.ConsumeFloatingPoint<double>();
    item.enumValue = in.ConsumeIntegral<uint32>();
    item.boolean = in.ConsumeBool();
    item.integer = in.ConsumeIntegral<int32>();
    items.push_back(item);
  }
  return items;
}

// Pixels outside `filterRect` (within the image) are as they were delivered,
// in what a run made of the image whether or not it succeeded.
// Serves an image's rows and takes the finished ones back, requiring each
// row to go each way at most once, top to bottom.
class RowsOf : public runner::RowStream {
 public:
  explicit RowsOf(const runner::Image& image) : image_(image) {}
  OSErr ReadRows(int32 top, int32 count, uint8* rows, std::ptrdiff_t stride) override {
    Require(top == read && count > 0 && top + count <= image_.height);
    const std::size_t bytes = std::size_t(image_.width) * image_.PixelBytes();
    for (int32 i = 0; i < count && bytes > 0; ++i) std::memcpy(rows + i * stride, image_.At(top + i, 0), bytes);
    read = top + count;
    return noErr;
  }
  OSErr WriteRows(int32 top, int32 count, const uint8* /*rows*/, std::ptrdiff_t /*stride*/) override {
    Require(top == written && count > 0 && top + count <= read);
    written = top + count;
    return noErr;
  }
  int32 read = 0, written = 0;

 private:
  const runner::Image& image_;
};

void RequireUntouchedOutside(const runner::Image& before, const runner::Image& after, const Rect& f) {
  Require(after.pixels.size() == before.pixels.size());
  const size_t bytes = before.PixelBytes();
  for (int y = 0; y < before.height; ++y) {
    for (int x = 0; x < before.width; ++x) {
      if (y >= f.top && y < f.bottom && x >= f.left && x < f.right) continue;
      const size_t at = (size_t(y) * size_t(before.width) + size_t(x)) * bytes;
      Require(std::equal(before.pixels.data() + at, before.pixels.data() + at + bytes, after.pixels.data() + at));
    }
  }
}

void Session(FuzzedDataProvider& in) {
  runner::ResetLinkedFilterState();
  Host host(runner::LoadFilter().entry);
  host.SetReloader([] {
    runner::ResetLinkedFilterState();
    return runner::LoadFilter().entry;
  });
  const bool profiled = in.ConsumeBool();
  if (profiled) {
    host.UseProfile(in.PickValueInArray(
        {HostProfile::Honest, HostProfile::PluginHostDll, HostProfile::GimpBridge, HostProfile::DotNetHost}));
  }
  // One suite for the whole session, as a host keeps its own, answering as
  // the profile's does or as drawn here.
  HandleSuiteOffer suite = HandleSuiteOffer::Full;
  if (!profiled || in.ConsumeBool()) {
    suite = in.PickValueInArray({HandleSuiteOffer::Full, HandleSuiteOffer::None, HandleSuiteOffer::Version0,
                                 HandleSuiteOffer::Version2, HandleSuiteOffer::Short6, HandleSuiteOffer::NullSetSize,
                                 HandleSuiteOffer::NullLock, HandleSuiteOffer::NullUnlock});
    host.OfferHandleSuite(suite);
    HandleHabits habits;
    habits.size = in.PickValueInArray({HandleHabits::Size::Honest, HandleHabits::Size::Zero,
                                       HandleHabits::Size::Negative, HandleHabits::Size::Smaller,
                                       HandleHabits::Size::Larger});
    habits.setSizeDoesNothing = in.ConsumeBool();
    habits.disposeFreesNothing = in.ConsumeBool();
    habits.lockAnswersNull = in.ConsumeBool();
    HostHabits chosen = host.habits();
    chosen.handles = habits;
    host.SetHabits(chosen);
  }
  host.OfferDescriptorSuite(in.PickValueInArray(
      {DescriptorSuiteOffer::Full, DescriptorSuiteOffer::None, DescriptorSuiteOffer::NullSuites,
       DescriptorSuiteOffer::ParametersVersion1, DescriptorSuiteOffer::ReadVersion1, DescriptorSuiteOffer::ReadShort17,
       DescriptorSuiteOffer::NullPinnedUnitFloat, DescriptorSuiteOffer::WriteVersion1,
       DescriptorSuiteOffer::WriteShort15}));
  host.SetPlayInfo(in.ConsumeIntegralInRange<int16>(-1, 3));
  if (in.ConsumeBool()) host.SetDescriptor(StoredDescriptor(in));

  // The image: a mode with or without an order table, at 8 or 16 bits, up
  // to six planes. The buffers are served at the mode's sample size, as the
  // host claims it; 16-bit samples take every value, full scale or above.
  const int16 mode = in.ConsumeBool() ? in.PickValueInArray<int16>({3, 4, 11, 13, 1, 7, 9, 10})
                                      : in.ConsumeIntegral<int16>();
  const auto width = in.ConsumeIntegralInRange<int16>(0, 40);
  const auto height = in.ConsumeIntegralInRange<int16>(0, 40);
  const int16 sampleBytes = host::SampleBytes(mode) == 2 ? 2 : 1;
  runner::Image image(width, height, in.ConsumeIntegralInRange<int16>(0, 6), sampleBytes);
  for (uint8& byte : image.pixels) byte = static_cast<uint8>(&byte - image.pixels.data());
  const Rect filterRect = FilterRect(in);
  host.SetImage(image, mode, filterRect);
  if (in.ConsumeBool()) host.record().planes = in.ConsumeIntegralInRange<int16>(-1, 8);

  FilterRecord& record = host.record();
  record.maxSpace = in.ConsumeIntegral<int32>();
  record.inputPadding = record.outputPadding = record.maskPadding = in.ConsumeIntegralInRange<int16>(-4, 256);
  record.inputRate = record.maskRate = in.ConsumeIntegral<int32>();
  host.SetRowSlack(in.ConsumeIntegralInRange<int32>(0, 7));
  // Requests the size of the 16-bit coordinate space would only make this
  // host slow; it lends what a small image needs and refuses more.
  host.LimitBufferBytes(int64_t{1} << 22);
  HostHabits habits = host.habits();
  habits.serveFromImage = in.ConsumeBool();
  habits.clampRects = in.ConsumeBool();
  habits.finish = in.PickValueInArray({runner::FinishHabit::Always, runner::FinishHabit::Never,
                                       runner::FinishHabit::OnlyAfterFailure,
                                       runner::FinishHabit::BeforeFlushAfterSuccess, runner::FinishHabit::AfterFlush});
  host.SetHabits(habits);
  host.OfferAdvanceState(in.ConsumeBool());
  host.OfferDisplayPixels(in.ConsumeBool());
  host.AbortAfter(in.ConsumeIntegralInRange<int>(-1, 400));
  if (in.ConsumeBool()) host.FailAdvanceStateAt(in.ConsumeIntegralInRange<int>(1, 4), in.PickValueInArray(kInjected));
  if (in.ConsumeBool()) host.SetCloseReadResult(in.PickValueInArray(kInjected));
  if (in.ConsumeBool()) host.FailAllocationsAfter(in.ConsumeIntegralInRange<int>(0, 4));

  // A parameter block kept from an earlier run: arbitrary bytes, of any size
  // where the suite can tell it is short, at least ours where nothing can (a
  // size of 0 or less tells nothing, and a host that over-states the size of
  // a short block cannot be told from an honest one). A suite that answers
  // half the size answers 0, which tells nothing, for a block of one byte.
  if (in.ConsumeBool()) {
    const HandleHabits::Size answers = host.habits().handles.size;
    const bool measurable = (suite == HandleSuiteOffer::Full || suite == HandleSuiteOffer::NullLock ||
                             suite == HandleSuiteOffer::NullUnlock) &&
                            (answers == HandleHabits::Size::Honest || answers == HandleHabits::Size::Smaller);
    const int32 shortest = answers == HandleHabits::Size::Smaller ? 2 : 1;
    const int32 size = in.ConsumeIntegralInRange<int32>(measurable ? shortest : 40, 64);
    Handle kept = host.NewHandle(size);
    const std::vector<uint8> bytes = in.ConsumeBytes<uint8>(size_t(size));
    std::copy(bytes.begin(), bytes.end(), *kept);
    if (in.ConsumeBool()) *kept = nullptr;  // purged
    record.parameters = kept;
  }

  for (int step = in.ConsumeIntegralInRange<int>(1, 6); step > 0 && in.remaining_bytes() > 0; --step) {
    if (in.ConsumeBool()) {
      Require(KnownResult(host.RunFilter(in.ConsumeBool())));
    } else {
      // A selector out of its run: no buffers are on offer.
      record.inData = record.outData = record.maskData = nullptr;
      const int16 selector = in.ConsumeBool() ? in.ConsumeIntegralInRange<int16>(-1, 6) : in.ConsumeIntegral<int16>();
      if (selector == filterSelectorAbout) continue;
      Require(KnownResult(host.Call(selector)));
    }
    RequireUntouchedOutside(host.source(), host.destination(), filterRect);
    RequireUntouchedOutside(host.source(), host.runOutput(), filterRect);
    Require(record.filterRect.top == filterRect.top && record.filterRect.left == filterRect.left &&
            record.filterRect.bottom == filterRect.bottom && record.filterRect.right == filterRect.right);
  }

  // The same host streaming the image: what is left of the input decides.
  if (in.remaining_bytes() > 0 && in.ConsumeBool()) {
    for (int step = in.ConsumeIntegralInRange<int>(1, 3); step > 0 && in.remaining_bytes() > 0; --step) {
      RowsOf stream(image);
      host.StreamImage(image, mode, stream);
      const OSErr result = host.RunFilter(in.ConsumeBool());
      Require(KnownResult(result));
      Require(result != noErr || stream.written == image.height);
    }
  }

  host.DisposeRunHandles();
  Require(g_liveBlocks == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  host::SetFallbackMemory({CountedAlloc, CountedRelease});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Session(in);
  return 0;
}
