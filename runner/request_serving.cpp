// Our host's answer to a request: the buffers of the rectangles and planes
// the filter asks for, served from the image itself where they lie wholly
// inside it, else copied, sampled and padded as asked; and the output of the
// last request taken over into the run's pixels.
#include <algorithm>
#include <cstring>

#include "runner/host.h"

namespace vantrel::runner {
namespace {

// What a buffer holds before the pixels of a request are copied in: the
// bytes a filter finds outside the image when it asks for no padding, or
// when the host ignores what it asks for.
constexpr uint8 kUnfilledByte = 0xCD;

}  // namespace

void Host::WithdrawBuffers() {
  FilterRecord& r = *record_;
  r.inData = r.outData = nullptr;
  r.inRowBytes = r.outRowBytes = 0;
  in_ = Buffer{};
  out_ = Buffer{};
}

OSErr Host::AdvanceStateProc() {
  Host* self = current_;
  ++self->advanceCalls_;
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
    if (OSErr e = HoldRequestedRows(rate); e != noErr) return e;
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

void Host::EnsureWorkingCopy() {
  if (Streaming()) return;
  if (working_.width != source_.width || working_.height != source_.height || working_.planes != source_.planes ||
      working_.sampleBytes != source_.sampleBytes)
    working_ = destination();
}

bool Host::Direct(const Rect& rect, int16 lo, int16 hi, Fixed rate, const Rect& bounds) const {
  return habits_.serveFromImage && habits_.rowSlack == 0 && rate == kFixedOne && NonEmpty(rect) && lo == 0 && hi >= lo &&
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
  if ((int64_t{cols} * int64_t(pixelBytes) + habits_.rowSlack) * rows > habits_.mostBufferBytes) return memFullErr;
  buffer.rect = rect;
  buffer.loPlane = lo;
  buffer.hiPlane = hi;
  buffer.rowBytes = int32(cols * int64_t(pixelBytes)) + habits_.rowSlack;
  buffer.bytes.assign(std::size_t(buffer.rowBytes) * rows, kUnfilledByte);
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

// Fills one pixel outside the image as `padding` asks: a byte value (every
// byte of a 16-bit sample too), the nearest edge pixel (edge replication) or
// whatever is there (no padding). `offset` and `bytes` are the requested
// planes' place and size within a pixel. Answers false for an error on
// bounds, and for edge replication on an image without pixels, which makes
// such a request an error.
bool Host::Pad(uint8* d, int64_t y, int64_t x, std::size_t offset, std::size_t bytes, int16 padding,
               const RowsView& from) const {
  if (padding >= 0) {
    std::memset(d, padding & 0xFF, bytes);
  } else if (padding == plugInWantsEdgeReplication) {
    if (source_.width <= 0 || source_.height <= 0) return false;  // no edge to replicate
    const int64_t cy = std::clamp<int64_t>(y, 0, source_.height - 1);
    const int64_t cx = std::clamp<int64_t>(x, 0, source_.width - 1);
    std::memcpy(d, from.At(cy, cx) + offset, bytes);
  } else if (padding != plugInDoesNotWantPadding) {
    return false;
  }
  return true;
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

}  // namespace vantrel::runner
