// Our host's side of the image protocols: the classic band loop, advanceState,
// padding, sampling, and taking over the filter's output.
#include <algorithm>
#include <cstring>

#include "runner/host.h"
#include "runner/host_window.h"

namespace vantrel::runner {
namespace {

bool NonEmpty(const Rect& r) { return r.left < r.right && r.top < r.bottom; }

// Guards the run loop against a filter that keeps asking forever.
constexpr int kMaxContinueCalls = 1 << 20;

// Rows of a streamed image that go on unread by any request are passed on
// this many at a time.
constexpr int32 kPassedRows = 64;

// The image rows, first and past the last, that a request for `rect` reads
// at `rate`: its sampled rows inside an image of `height` rows, with the
// edge rows that replication (-1) copies; {0, 0} when it reads none.
std::pair<int32, int32> RowsRead(const Rect& rect, Fixed rate, int16 padding, int32 height) {
  if (!NonEmpty(rect) || height <= 0) return {0, 0};
  int64_t first = int64_t(rect.top) * rate >> 16;
  int64_t last = int64_t(rect.bottom - 1) * rate >> 16;
  if (padding == -1) {
    first = std::clamp<int64_t>(first, 0, height - 1);
    last = std::clamp<int64_t>(last, 0, height - 1);
  } else {
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, height - 1);
    if (first > last) return {0, 0};
  }
  return {int32(first), int32(last + 1)};
}

}  // namespace

// Fills one pixel outside the image as `padding` asks: a byte value (every
// byte of a 16-bit sample too), the nearest edge pixel (-1) or whatever is
// there (-2). `offset` and `bytes` are the requested planes' place and size
// within a pixel. Answers false for -3, and for -1 on an image without
// pixels, which makes such a request an error.
bool Host::Pad(uint8* d, int64_t y, int64_t x, std::size_t offset, std::size_t bytes, int16 padding,
               const RowsView& from) const {
  if (padding >= 0) {
    std::memset(d, padding & 0xFF, bytes);
  } else if (padding == -1) {
    if (source_.width <= 0 || source_.height <= 0) return false;  // no edge to replicate
    const int64_t cy = std::clamp<int64_t>(y, 0, source_.height - 1);
    const int64_t cx = std::clamp<int64_t>(x, 0, source_.width - 1);
    std::memcpy(d, from.At(cy, cx) + offset, bytes);
  } else if (padding != -2) {
    return false;
  }
  return true;
}

void Host::SetImage(Image source, int16 imageMode) {
  const Rect whole{0, 0, source.height, source.width};
  SetImage(std::move(source), imageMode, whole);
}

void Host::StreamImage(const Image& shape, int16 imageMode, RowStream& stream) {
  Image bare;
  bare.width = shape.width;
  bare.height = shape.height;
  bare.planes = shape.planes;
  bare.sampleBytes = shape.sampleBytes;
  SetImage(std::move(bare), imageMode);
  stream_ = &stream;
}

void Host::SetImage(Image source, int16 imageMode, Rect filterRect) {
  stream_ = nullptr;
  heldIn_ = heldOut_ = Image{};
  source_ = std::move(source);
  destination_ = Image{};
  destinationIsSource_ = true;
  working_ = Image{};
  lastRunFailed_ = false;
  FilterRecord& r = *record_;
  r.imageMode = imageMode;
  r.planes = source_.planes;
  r.imageSize = Point{source_.height, source_.width};
  r.wholeSize = r.imageSize;
  r.filterRect = filterRect;
  SetImageFields();
}

void Host::OfferAdvanceState(bool offer) { record_->advanceState = offer ? AdvanceStateProc : nullptr; }

void Host::OfferDisplayPixels(bool offer) { record_->displayPixels = offer ? DisplayPixelsProc : nullptr; }

void Host::WithdrawBuffers() {
  FilterRecord& r = *record_;
  r.inData = r.outData = nullptr;
  r.inRowBytes = r.outRowBytes = 0;
  in_ = Buffer{};
  out_ = Buffer{};
}

void Host::ResetRunCounters() {
  WithdrawBuffers();
  selectors_.clear();
  continueCalls_ = 0;
  advanceCalls_ = 0;
  servedInRects_.clear();
  abortCalls_ = 0;
  progress_.clear();
  displayCalls_.clear();
  outPending_ = false;
  heldTop_ = heldRows_ = heldPeak_ = 0;
}

bool Host::RectsActive() const {
  const FilterRecord& r = *record_;
  if (habits_.clampRects) return r.outRect.right != 0 || r.inRect.right != 0;
  return NonEmpty(r.inRect) || NonEmpty(r.outRect) || NonEmpty(r.maskRect);
}

int16 Host::RunFilter(bool withParametersSelector) {
  StartRun(withParametersSelector);
  while (StepRun()) {
  }
  return EndRun();
}

int16 Host::CallInRun(int16 selector) {
  selectors_.push_back(selector);
  return Call(selector);
}

int16 Host::StartRun(bool withParametersSelector) {
  BetweenRuns();
  ResetRunCounters();
  if (Streaming())
    working_ = Image{};
  else if (rollBack_ || destinationIsSource_)
    working_ = destination();
  else
    std::swap(working_, destination_);  // the run goes on where the last one left the image
  stage_ = RunStage::StartFailed;  // a failed start ends the run without finish
  runResult_ = noErr;
  if (withParametersSelector) runResult_ = CallInRun(filterSelectorParameters);
  if (runResult_ == noErr) runResult_ = CallInRun(filterSelectorPrepare);
  if (runResult_ != noErr) return runResult_;
  if (beforeStart_) beforeStart_();
  runResult_ = CallInRun(filterSelectorStart);
  TakeOverOutput();
  if (runResult_ == noErr) stage_ = RunStage::Looping;
  return runResult_;
}

bool Host::StepRun() {
  if (stage_ != RunStage::Looping) return false;
  if (!RectsActive()) {
    stage_ = RunStage::Left;
    return false;
  }
  OSErr served = ServeRequest();
  if (served != noErr && !habits_.ignoreOwnAdvanceErrors) {
    runResult_ = served;
    stage_ = RunStage::Left;
    return false;
  }
  ++continueCalls_;
  runResult_ = CallInRun(filterSelectorContinue);
  // A host that calls finish before its flush takes the last band over
  // only then.
  if (habits_.finish != FinishHabit::BeforeFlushAfterSuccess || RectsActive() || runResult_ != noErr)
    TakeOverOutput();
  if (runResult_ == noErr && continueCalls_ >= kMaxContinueCalls) runResult_ = filterBadParameters;
  if (runResult_ != noErr) stage_ = RunStage::Left;
  return stage_ == RunStage::Looping;
}

int16 Host::EndRun() {
  if (stage_ == RunStage::Looping) {
    runResult_ = userCanceledErr;
    stage_ = RunStage::Left;
  }
  if (stage_ == RunStage::Left) {
    const bool failed = runResult_ != noErr;
    auto finish = [&] {
      const OSErr finished = CallInRun(filterSelectorFinish);
      if (runResult_ == noErr) runResult_ = finished;
    };
    switch (habits_.finish) {
      case FinishHabit::Always: finish(); break;
      case FinishHabit::Never: break;
      case FinishHabit::OnlyAfterFailure:
        if (failed) finish();
        else Flush();
        break;
      case FinishHabit::BeforeFlushAfterSuccess:
        if (!failed) finish();
        Flush();
        break;
      case FinishHabit::AfterFlush:
        Flush();
        finish();
        break;
    }
  }
  if (stage_ == RunStage::Idle) return runResult_;
  stage_ = RunStage::Idle;
  const int16 result = runResult_;
  lastRunFailed_ = result != noErr;
  if (Streaming()) {
    // What no request can change any more goes on: the whole image.
    if (!lastRunFailed_) runResult_ = HandOnRows(source_.height);
    in_ = out_ = Buffer{};
    heldIn_ = heldOut_ = Image{};
    heldRows_ = 0;
    lastRunFailed_ = runResult_ != noErr;
    return runResult_;
  }
  if (!lastRunFailed_ || !rollBack_) {
    std::swap(destination_, working_);
    destinationIsSource_ = false;
    working_ = Image{};  // the image before this run is not kept
  }
  return result;
}

void Host::Flush() {
  TakeOverOutput();
  in_ = Buffer{};
  out_ = Buffer{};
  FilterRecord& r = *record_;
  r.inData = r.outData = nullptr;
  r.inRowBytes = r.outRowBytes = 0;
}

OSErr Host::AdvanceStateProc() {
  Host* self = current_;
  ++self->advanceCalls_;
  if (self->advanceFailAt_ > 0 && self->advanceCalls_ >= self->advanceFailAt_) return self->advanceFailCode_;
  self->TakeOverOutput();
  return self->ServeRequest();
}

Host::RowsView Host::SourceRows() {
  return Streaming() ? RowsView{&heldIn_, heldTop_} : RowsView{&source_, 0};
}

Host::RowsView Host::WorkingRows() {
  return Streaming() ? RowsView{&heldOut_, heldTop_} : RowsView{&working_, 0};
}

OSErr Host::ServeRequest() {
  EnsureWorkingCopy();
  FilterRecord& r = *record_;
  servedInRects_.push_back(r.inRect);
  const Fixed rate = r.inputRate == 0 ? kFixedOne : r.inputRate;
  if (habits_.clampRects) {
    for (Rect* rect : {&r.inRect, &r.outRect, &r.maskRect}) {
      rect->bottom = std::min(rect->bottom, source_.height);
      rect->right = std::min(rect->right, source_.width);
      if (rect->bottom <= 0 || rect->right <= 0) *rect = Rect{0, 0, 0, 0};
    }
  }
  // The last request's buffers go; until this one is served there are none,
  // so that a request that fails leaves no pointer to them in the record.
  WithdrawBuffers();
  if (Streaming()) {
    // The rows both buffers read, held before anything is served.
    const auto in = RowsRead(r.inRect, rate, r.inputPadding, source_.height);
    const auto out = RowsRead(r.outRect, rate, r.outputPadding, source_.height);
    const bool reads[2] = {in.first < in.second, out.first < out.second};
    if (reads[0] || reads[1]) {
      const int32 first = !reads[0] ? out.first : !reads[1] ? in.first : std::min(in.first, out.first);
      const int32 last = !reads[0] ? out.second : !reads[1] ? in.second : std::max(in.second, out.second);
      if (OSErr e = HoldRows(first, last); e != noErr) return e;
    }
  }
  // A request for whole pixels inside the image at full rate is served from
  // the image itself, as hosts that hand out their own tiles do; the output
  // only so where it also lies inside the filter rectangle.
  const Rect& f = r.filterRect;
  const Rect image{0, 0, source_.height, source_.width};
  const Rect outBounds{std::max(f.top, image.top), std::max(f.left, image.left), std::min(f.bottom, image.bottom),
                       std::min(f.right, image.right)};
  const bool directIn = Direct(r.inRect, r.inLoPlane, r.inHiPlane, rate, image);
  const bool directOut = Direct(r.outRect, r.outLoPlane, r.outHiPlane, rate, outBounds);
  const RowsView from = SourceRows(), working = WorkingRows();

  if (!directIn) {
    OSErr e = FillBuffer(in_, r.inRect, r.inLoPlane, r.inHiPlane, r.inputPadding, from, rate);
    if (e != noErr) return e;
  }
  if (!directOut) {
    // The output buffer starts as the pixels of the run so far.
    OSErr e = FillBuffer(out_, r.outRect, r.outLoPlane, r.outHiPlane, r.outputPadding, working, rate);
    if (e != noErr) return e;
  }
  const int32 imageRowBytes = int32(source_.width * source_.PixelBytes());
  r.inData = directIn ? from.At(r.inRect.top, r.inRect.left) : in_.bytes.empty() ? nullptr : in_.bytes.data();
  r.inRowBytes = directIn ? imageRowBytes : in_.rowBytes;
  r.outData = directOut ? working.At(r.outRect.top, r.outRect.left)
                        : out_.bytes.empty() ? nullptr : out_.bytes.data();
  r.outRowBytes = directOut ? imageRowBytes : out_.rowBytes;
  r.inColumnBytes = r.outColumnBytes = 0;
  outPending_ = !out_.bytes.empty();
  outRate_ = rate;
  return noErr;
}

OSErr Host::HoldRows(int32 first, int32 last) {
  if (first < heldTop_) return paramErr;  // a row already handed on
  if (OSErr e = HandOnRows(first); e != noErr) return e;
  return ReadHeldRows(last);
}

OSErr Host::ReadHeldRows(int32 last) {
  last = std::min<int32>(last, source_.height);
  const int32 end = heldTop_ + heldRows_;
  if (last <= end) return noErr;
  const int32 count = last - end;
  const std::size_t rowBytes = std::size_t(source_.width) * source_.PixelBytes();
  if (heldIn_.height < heldRows_ + count) {
    // Room for the rows held and the new ones; the held ones move along.
    const int16 rows = int16(heldRows_ + count);
    for (Image* held : {&heldIn_, &heldOut_}) {
      Image grown(source_.width, rows, source_.planes, source_.sampleBytes);
      if (heldRows_ > 0 && rowBytes > 0)
        std::memcpy(grown.pixels.data(), held->pixels.data(), std::size_t(heldRows_) * rowBytes);
      *held = std::move(grown);
    }
  }
  uint8* in = heldIn_.pixels.data() + std::size_t(heldRows_) * rowBytes;
  if (OSErr e = stream_->ReadRows(end, count, in, std::ptrdiff_t(rowBytes)); e != noErr) return e;
  // The run's pixels start as the image's.
  if (rowBytes > 0)
    std::memcpy(heldOut_.pixels.data() + std::size_t(heldRows_) * rowBytes, in, std::size_t(count) * rowBytes);
  heldRows_ += count;
  heldPeak_ = std::max(heldPeak_, heldRows_);
  return noErr;
}

OSErr Host::HandOnRows(int32 until) {
  until = std::min<int32>(until, source_.height);
  const std::size_t rowBytes = std::size_t(source_.width) * source_.PixelBytes();
  while (heldTop_ < until) {
    // Rows that no request reached go on as they came.
    if (heldRows_ == 0) {
      if (OSErr e = ReadHeldRows(std::min(until, heldTop_ + kPassedRows)); e != noErr) return e;
    }
    const int32 count = std::min(until - heldTop_, heldRows_);
    if (OSErr e = stream_->WriteRows(heldTop_, count, heldOut_.pixels.data(), std::ptrdiff_t(rowBytes)); e != noErr)
      return e;
    heldTop_ += count;
    heldRows_ -= count;
    const std::size_t moved = std::size_t(heldRows_) * rowBytes, from = std::size_t(count) * rowBytes;
    if (moved > 0) {
      std::memmove(heldIn_.pixels.data(), heldIn_.pixels.data() + from, moved);
      std::memmove(heldOut_.pixels.data(), heldOut_.pixels.data() + from, moved);
    }
  }
  return noErr;
}

void Host::EnsureWorkingCopy() {
  if (Streaming()) return;
  if (working_.width != source_.width || working_.height != source_.height || working_.planes != source_.planes ||
      working_.sampleBytes != source_.sampleBytes)
    working_ = destination();
}

bool Host::Direct(const Rect& rect, int16 lo, int16 hi, Fixed rate, const Rect& bounds) const {
  return habits_.serveFromImage && rowSlack_ == 0 && rate == kFixedOne && NonEmpty(rect) && lo == 0 && hi >= lo &&
         hi == source_.planes - 1 && rect.top >= bounds.top && rect.left >= bounds.left &&
         rect.bottom <= bounds.bottom && rect.right <= bounds.right;
}

OSErr Host::FillBuffer(Buffer& buffer, Rect& rect, int16 lo, int16 hi, int16 padding, const RowsView& from,
                       Fixed rate) {
  buffer = Buffer{};
  if (!NonEmpty(rect)) return noErr;
  if (lo < 0 || hi < lo || hi >= source_.planes) return paramErr;
  const int32 rows = rect.bottom - rect.top;
  const int32 cols = rect.right - rect.left;
  const std::size_t offset = std::size_t(lo) * std::size_t(source_.sampleBytes);
  const std::size_t pixelBytes = std::size_t(hi - lo + 1) * std::size_t(source_.sampleBytes);
  if ((int64_t{cols} * int64_t(pixelBytes) + rowSlack_) * rows > bufferLimit_) return memFullErr;
  buffer.rect = rect;
  buffer.loPlane = lo;
  buffer.hiPlane = hi;
  buffer.rowBytes = int32(cols * int64_t(pixelBytes)) + rowSlack_;
  buffer.bytes.assign(std::size_t(buffer.rowBytes) * rows, 0xCD);
  for (int32 i = 0; i < rows; ++i) {
    uint8* row = &buffer.bytes[std::size_t(i) * buffer.rowBytes];
    // Coordinates of the request are in sampled pixels.
    const int64_t y = (int64_t(rect.top) + i) * rate >> 16;
    for (int32 j = 0; j < cols; ++j) {
      const int64_t x = (int64_t(rect.left) + j) * rate >> 16;
      uint8* d = row + std::size_t(j) * pixelBytes;
      if (y >= 0 && y < source_.height && x >= 0 && x < source_.width)
        std::memcpy(d, from.At(y, x) + offset, pixelBytes);
      else if (!habits_.ignorePadding && !Pad(d, y, x, offset, pixelBytes, padding, from)) {
        buffer = Buffer{};
        return paramErr;
      }
    }
  }
  return noErr;
}

void Host::TakeOverOutput() {
  if (!outPending_) return;
  outPending_ = false;
  // At a sampling rate other than 1 the output is the filter's scratch: it has
  // no place in the full-size image.
  if (outRate_ != kFixedOne) return;
  const Buffer& b = out_;
  const Rect& f = record_->filterRect;
  const std::size_t offset = std::size_t(b.loPlane) * std::size_t(source_.sampleBytes);
  const std::size_t pixelBytes = std::size_t(b.hiPlane - b.loPlane + 1) * std::size_t(source_.sampleBytes);
  // Within the rows held: a streamed run holds every row its request wrote.
  const int32 rowsFrom = Streaming() ? heldTop_ : 0;
  const int32 rowsTo = Streaming() ? heldTop_ + heldRows_ : working_.height;
  const int32 top = std::max<int32>({b.rect.top, f.top, rowsFrom});
  const int32 bottom = std::min<int32>({b.rect.bottom, f.bottom, rowsTo});
  const int32 left = std::max<int32>({b.rect.left, f.left, 0});
  const int32 right = std::min<int32>({b.rect.right, f.right, source_.width});
  const RowsView working = WorkingRows();
  for (int32 y = top; y < bottom; ++y) {
    const uint8* s = &b.bytes[std::size_t(y - b.rect.top) * b.rowBytes + std::size_t(left - b.rect.left) * pixelBytes];
    for (int32 x = left; x < right; ++x, s += pixelBytes) std::memcpy(working.At(y, x) + offset, s, pixelBytes);
  }
}

Boolean Host::AbortProc() {
  Host* self = current_;
  ++self->abortCalls_;
  return self->abortAfter_ >= 0 && self->abortCalls_ > self->abortAfter_ ? 1 : 0;
}

Boolean Host::NeverAbortProc() { return 0; }

void Host::CountAbortCalls(bool count) { record_->abortProc = count ? AbortProc : NeverAbortProc; }

void Host::ProgressProcCallback(int32 done, int32 total) { current_->progress_.push_back({done, total}); }

OSErr Host::DisplayPixelsProc(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                              void* platformContext) {
  if (current_->habits_.displaysOnlyRgbAndGray && source != nullptr && source->imageMode != plugInModeRGBColor &&
      source->imageMode != plugInModeGrayScale) {
    ++current_->fatalCalls_;
    return filterBadParameters;
  }
  DisplayCall call;
  if (source != nullptr) call.map = *source;
  if (source != nullptr && source->version >= 1 && source->masks != nullptr) {
    call.hasMask = true;
    call.mask = *source->masks;
  }
  if (srcRect != nullptr) call.source = *srcRect;
  call.row = dstRow;
  call.col = dstCol;
  call.context = platformContext;
  const bool drawable = source != nullptr && srcRect != nullptr && RenderPixelMap(*source, *srcRect, call.drawn);
  if (drawable) DrawOnDevice(platformContext, dstRow, dstCol, call.drawn);
  // Only the newest picture is kept: a person panning the preview for long
  // would otherwise pile up one copy per repaint.
  std::vector<DisplayCall>& calls = current_->displayCalls_;
  if (!calls.empty()) calls.back().drawn = Image{};
  calls.push_back(std::move(call));
  return drawable ? noErr : filterBadParameters;
}

}  // namespace vantrel::runner
