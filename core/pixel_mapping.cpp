// Pixel mapping: every decision that does not depend on the pixel is taken
// once per call and picks a row routine specialised for it, so the per-pixel
// work is the host's abort callback plus a handful of sample loads and stores.
// The same routines serve 8-bit samples and the 16-bit ones of the deep modes.
#include "core/pixel_mapping.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/channel_orders.h"
#include "core/parameters.h"
#include "core/settings.h"
#include "host/component_counts.h"
#include "host/image_modes.h"

namespace vantrel {
namespace {

// The per-call decisions: what each output plane is made of.
struct PixelPlan {
  int planes = 0;                        // mapped (colour) planes
  int sampleBytes = 1;                   // bytes per plane: 1, 2 in the 16-bit modes
  bool mapped = false;                   // by an order table; else the planes are copied
  std::ptrdiff_t source[kMaxOrderPlanes] = {0, 1, 2, 3};
  BlendMethod blend = BlendMethod::None;
  int cleared = -1;                      // 0-based plane overwritten, or -1
  uint16 clearValue = 0;
};

// One buffer row and what it takes to walk it. Strides are in bytes.
struct RowJob {
  const uint8* in;
  uint8* out;
  std::ptrdiff_t inStride;
  std::ptrdiff_t outStride;
  int32 columns;
  bool oddFirst;  // the row's first pixel is an odd cell of the checkerboard
  TestAbortProc abort;  // never null
};

// Maps one row; false when the abort callback asked to stop.
using RowMapper = bool (*)(const RowJob& job, const PixelPlan& plan);

inline bool Stop(TestAbortProc abort) { return abort() != 0; }

// Stands in for a host that offers no abort test, so that the row loops need
// no test of their own: the cost per pixel is then the same as with a host's.
Boolean NeverStop() { return 0; }

// A sample of type T at `p`. Nothing promises that a host's buffer or its
// strides keep 16-bit samples on even addresses, so they are moved as bytes;
// the compiler makes each one a single load or store.
template <class T>
inline T Load(const uint8* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
inline void Store(uint8* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// What one pixel's mapped planes are made of: the source pixel's own planes
// (an even cell of the Cross checkerboard), the planes the order names, or
// the Mix of both.
enum class Cell { kSource, kOrder, kMix };

// Writes one pixel of N planes of samples of type T (uint8, or uint16 in the
// deep modes) from the pixel at `s`, reading all of it before writing any;
// with Clear, one plane is overwritten after the others, which is how
// exclusion wins over every blend. `src` and `cleared` are byte offsets.
// Mix halves the sum in int, so even a 16-bit sample above full scale cannot
// overflow it.
template <class T, int N, Cell C, bool Clear>
inline void MapPixel(const uint8* s, uint8* d, const std::ptrdiff_t* src, std::ptrdiff_t cleared, T clearValue) {
  constexpr std::ptrdiff_t kSample = sizeof(T);
  T v[N];
  for (int k = 0; k < N; ++k) {
    if constexpr (C == Cell::kSource) {
      v[k] = Load<T>(s + k * kSample);
    } else if constexpr (C == Cell::kOrder) {
      v[k] = Load<T>(s + src[k]);
    } else {
      v[k] = T((Load<T>(s + src[k]) + Load<T>(s + k * kSample)) >> 1);
    }
  }
  for (int k = 0; k < N; ++k) Store<T>(d + k * kSample, v[k]);
  if constexpr (Clear) Store<T>(d + cleared, clearValue);
}

// Maps a row of N planes of type T; S samples per input and output pixel, or
// 0 when the strides are taken from the job; blend B; Clear as above.
// Constant strides and pointer-wide source offsets keep the loop's state in
// registers across the abort call. The Cross checkerboard is walked in pairs
// of cells, even then odd, so that no pixel tests its own colour.
template <class T, int N, int S, BlendMethod B, bool Clear>
bool MapRow(const RowJob& job, const PixelPlan& plan) {
  constexpr std::ptrdiff_t kSample = sizeof(T);
  constexpr bool kCross = B == BlendMethod::Cross || B == BlendMethod::Both;
  // The odd cells of the checkerboard, and every cell without it.
  constexpr Cell kMapped = B == BlendMethod::Mix || B == BlendMethod::Both ? Cell::kMix : Cell::kOrder;
  const uint8* s = job.in;
  uint8* d = job.out;
  const std::ptrdiff_t inStride = S != 0 ? S * kSample : job.inStride;
  const std::ptrdiff_t outStride = S != 0 ? S * kSample : job.outStride;
  const TestAbortProc abort = job.abort;
  std::ptrdiff_t src[N];
  for (int k = 0; k < N; ++k) src[k] = plan.source[k] * kSample;
  const std::ptrdiff_t cleared = plan.cleared * kSample;
  const T clearValue = T(plan.clearValue);

  int32 j = job.columns;
  if constexpr (kCross) {
    if (job.oddFirst && j > 0) {
      if (Stop(abort)) return false;
      MapPixel<T, N, kMapped, Clear>(s, d, src, cleared, clearValue);
      s += inStride;
      d += outStride;
      --j;
    }
    for (; j >= 2; j -= 2) {
      if (Stop(abort)) return false;
      MapPixel<T, N, Cell::kSource, Clear>(s, d, src, cleared, clearValue);
      s += inStride;
      d += outStride;
      if (Stop(abort)) return false;
      MapPixel<T, N, kMapped, Clear>(s, d, src, cleared, clearValue);
      s += inStride;
      d += outStride;
    }
    if (j > 0) {
      if (Stop(abort)) return false;
      MapPixel<T, N, Cell::kSource, Clear>(s, d, src, cleared, clearValue);
    }
  } else {
    for (; j > 0; --j) {
      if (Stop(abort)) return false;
      MapPixel<T, N, kMapped, Clear>(s, d, src, cleared, clearValue);
      s += inStride;
      d += outStride;
    }
  }
  return true;
}

// Modes without an order table: the colour planes are copied as they are.
bool CopyRow(const RowJob& job, const PixelPlan& plan) {
  const uint8* s = job.in;
  uint8* d = job.out;
  const TestAbortProc abort = job.abort;
  const std::size_t n = std::size_t(plan.planes) * std::size_t(plan.sampleBytes);
  for (int32 j = job.columns; j > 0; --j) {
    if (Stop(abort)) return false;
    std::memcpy(d, s, n);
    s += job.inStride;
    d += job.outStride;
  }
  return true;
}

// A mode with no colour planes: nothing to write, but the host is still asked
// once per pixel so that it can stop the run.
bool AskRow(const RowJob& job, const PixelPlan&) {
  for (int32 j = job.columns; j > 0; --j) {
    if (Stop(job.abort)) return false;
  }
  return true;
}

template <class T, int N, int S, BlendMethod B>
RowMapper Pick(bool clear) {
  return clear ? &MapRow<T, N, S, B, true> : &MapRow<T, N, S, B, false>;
}

template <class T, int N, int S>
RowMapper PickForBlend(const PixelPlan& plan) {
  const bool clear = plan.cleared >= 0;
  switch (plan.blend) {
    case BlendMethod::Mix:
      return Pick<T, N, S, BlendMethod::Mix>(clear);
    case BlendMethod::Cross:
      return Pick<T, N, S, BlendMethod::Cross>(clear);
    case BlendMethod::Both:
      return Pick<T, N, S, BlendMethod::Both>(clear);
    case BlendMethod::None:
      break;
  }
  return Pick<T, N, S, BlendMethod::None>(clear);
}

// The host requests the same planes in and out, so both strides are usually
// the plane count: the colour planes alone, or with one more (transparency).
template <class T, int N>
RowMapper PickForStrides(const PixelPlan& plan, std::ptrdiff_t inStride, std::ptrdiff_t outStride) {
  constexpr std::ptrdiff_t kSample = sizeof(T);
  if (inStride == outStride && inStride == N * kSample) return PickForBlend<T, N, N>(plan);
  if (inStride == outStride && inStride == (N + 1) * kSample) return PickForBlend<T, N, N + 1>(plan);
  return PickForBlend<T, N, 0>(plan);
}

template <class T>
RowMapper PickForPlanes(const PixelPlan& plan, std::ptrdiff_t inStride, std::ptrdiff_t outStride) {
  return plan.planes == 3 ? PickForStrides<T, 3>(plan, inStride, outStride)
                          : PickForStrides<T, 4>(plan, inStride, outStride);
}

// Only the modes with an order table (3 or 4 planes of 1 or 2 bytes) are
// mapped; the others are copied.
RowMapper PickRowMapper(const PixelPlan& plan, std::ptrdiff_t inStride, std::ptrdiff_t outStride) {
  if (plan.planes == 0) return &AskRow;
  if (!plan.mapped) return &CopyRow;
  return plan.sampleBytes == 2 ? PickForPlanes<uint16>(plan, inStride, outStride)
                               : PickForPlanes<uint8>(plan, inStride, outStride);
}

PixelPlan MakePlan(int16 imageMode, const FilterParameters& params) {
  PixelPlan plan;
  plan.planes = host::ColorComponentCount(host::EightBitMode(imageMode), 0);
  plan.sampleBytes = host::SampleBytes(imageMode);
  // Without a table of the mode's width the planes keep their own values and
  // no blend or exclusion applies: there is nothing to blend with, and no
  // defined clear value.
  plan.mapped = ChannelOrderCount(imageMode) != 0 && ChannelOrderPlanes(imageMode) == plan.planes;
  if (!plan.mapped) return plan;

  // An index stored for another mode's table falls back to the first row.
  const int16 rows = ChannelOrderCount(imageMode);
  int16 index = params.orderIndex;
  if (index < 0 || index >= rows) index = 0;
  for (int k = 0; k < plan.planes; ++k) plan.source[k] = ChannelOrderSource(imageMode, index, int16(k));

  plan.blend = BlendMethodOf(params);
  const int cleared = ClearedChannelOf(params);
  if (cleared >= 1 && cleared <= plan.planes) {
    plan.cleared = cleared - 1;
    // A cleared CMYK plane carries no ink: the full value, 255 or the 16-bit
    // full scale. A cleared RGB plane is 0 at either depth.
    const bool ink = host::EightBitMode(imageMode) == plugInModeCMYKColor;
    plan.clearValue = !ink ? 0 : plan.sampleBytes == 2 ? host::kDeepFullScale : 255;
  }
  return plan;
}

// True when both buffers exist and every row of `rows` x `columns` pixels,
// with the strides the record gives (in bytes, for pixels of the requested
// planes at `sampleBytes` each), lies inside them and holds the mapped planes
// of every pixel.
bool BuffersHold(const FilterRecord& record, int32 rows, int32 columns, int planes, int sampleBytes) {
  if (record.inData == nullptr || record.outData == nullptr) return false;
  const int64_t inPlanes = int64_t(record.inHiPlane) - record.inLoPlane + 1;
  const int64_t outPlanes = record.planes;
  if (inPlanes < planes || outPlanes < planes) return false;
  const int64_t inRow = columns * inPlanes * sampleBytes;
  const int64_t outRow = columns * outPlanes * sampleBytes;
  if (record.inRowBytes < inRow || record.outRowBytes < outRow) return false;
  // The offsets reached must be expressible as pointer differences.
  const int64_t limit = PTRDIFF_MAX;
  return (rows - 1) * int64_t(record.inRowBytes) <= limit - inRow &&
         (rows - 1) * int64_t(record.outRowBytes) <= limit - outRow;
}

}  // namespace

void MapPixels(Globals* globals, bool reportProgress) {
  if (globals == nullptr || globals->filterRecord == nullptr) return;
  const FilterRecord& record = *globals->filterRecord;
  const FilterParameters* params = BlockOf(globals);
  if (params == nullptr) return;

  // Rectangle arithmetic is 16-bit, as in the host's Rect.
  const int16 rows = int16(record.outRect.bottom - record.outRect.top);
  if (rows <= 0) return;
  const int16 columns = int16(record.outRect.right - record.outRect.left);

  const PixelPlan plan = MakePlan(record.imageMode, *params);
  const bool touchesPixels = columns > 0 && plan.planes > 0;
  if (touchesPixels && !BuffersHold(record, rows, columns, plan.planes, plan.sampleBytes)) {
    // The host described buffers that cannot hold what it asks for: nothing
    // is written, and the run must not end as if the pixels had been mapped.
    if (globals->result != nullptr) *globals->result = filterBadParameters;
    return;
  }

  const ProgressProc progress = reportProgress ? record.progressProc : nullptr;
  const int32 firstRow = int16(record.outRect.top - record.filterRect.top);
  const int32 filterHeight = int16(record.filterRect.bottom - record.filterRect.top);

  // Everything is read from the record once: the callbacks cannot move the
  // buffers under a mapping that has already checked them.
  const auto* in = static_cast<const uint8*>(record.inData);
  auto* out = static_cast<uint8*>(record.outData);
  const std::ptrdiff_t inRowBytes = record.inRowBytes;
  const std::ptrdiff_t outRowBytes = record.outRowBytes;
  RowJob job{};
  job.inStride = std::ptrdiff_t(int32(record.inHiPlane) - record.inLoPlane + 1) * plan.sampleBytes;
  job.outStride = std::ptrdiff_t(record.planes) * plan.sampleBytes;
  job.columns = columns;
  job.abort = record.abortProc != nullptr ? record.abortProc : &NeverStop;
  const RowMapper mapRow = PickRowMapper(plan, job.inStride, job.outStride);

  for (int32 i = 0; i < rows; ++i) {
    if (progress != nullptr) progress(firstRow + i, filterHeight);
    if (columns <= 0) continue;
    if (touchesPixels) {
      job.in = in + i * inRowBytes;
      job.out = out + i * outRowBytes;
    }
    job.oddFirst = (i & 1) != 0;
    if (!mapRow(job, plan)) {
      if (globals->result != nullptr) *globals->result = userCanceledErr;
      return;
    }
  }
}

}  // namespace vantrel
