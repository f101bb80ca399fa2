// The filter and our host as the page's Web Workers use them: a picture and
// its thumbnail held by hosts of the runner, runs through ENTRYPOINT by either
// drive with progress and abort through the host callbacks, and the filter's
// dialog shown through the page (page_dialog.h). Plain C exports, called by
// web/worker.js.
#include <emscripten.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/channel_orders.h"
#include "core/parameters.h"
#include "core/settings.h"
#include "runner/filter_loader.h"
#include "runner/host.h"
#include "web/page_dialog.h"
#include "web/page_protocol.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_THREAD_LOCALS
#define STBI_MAX_DIMENSIONS vantrel::kMostSide
#include <stb_image.h>

using namespace vantrel;

namespace {

// "" when a picture of `width` x `height` pixels of `planes` bytes fits,
// else why not, in words for the page's message.
std::string SizeProblem(int width, int height, int planes) {
  if (width < 1 || height < 1 || planes < 3 || planes > 4) return "the picture has no pixels the filter can take";
  if (width > kMostSide || height > kMostSide || int64_t(width) * height > kPageMostPixels)
    return "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; the page takes at most " + std::to_string(kMostSide) + " pixels a side and " +
           std::to_string(kPageMostPixels / 1'000'000) + " megapixels";
  return "";
}

// What the worker reports as the filter works: done out of total.
EM_JS(void, page_progress, (int done, int total), {
  if (Module.onProgress) Module.onProgress(done, total);
});

// The pictures of this worker (web::Held): the one opened, its thumbnail for
// the grid of orders, and a picture of a batch being converted, which leaves
// the other two as they are; each filtered by a host of its own.
std::unique_ptr<runner::Host> g_held[int(web::Held::Count)];
std::unique_ptr<runner::Host>& HeldHost(web::Held which) { return g_held[int(which)]; }

// The host of `which`, or none.
runner::Host* HostOf(int which) {
  return which >= 0 && which < int(web::Held::Count) ? g_held[which].get() : nullptr;
}
runner::Image g_pending;  // filled by the worker before it is held
std::string g_error;
// The host of the run under way between vantrel_run_start and
// vantrel_run_end, or none.
runner::Host* g_run = nullptr;
bool g_cancelled = false;

runner::EntryProc Entry() { return runner::LoadFilter().entry; }

// The host's abort callback: the page's Cancel, which the worker takes in
// between the calls of a run.
Boolean Cancelled() { return g_cancelled ? 1 : 0; }
void Progress(int32 done, int32 total) { page_progress(done, total); }

// An image of `width` x `height` pixels of `planes` bytes, or an empty one
// with the reason in g_error.
runner::Image NewImage(int width, int height, int planes) {
  if (const std::string why = SizeProblem(width, height, planes); !why.empty()) {
    g_error = why;
    return {};
  }
  runner::Image image;
  image.width = int16(width);
  image.height = int16(height);
  image.planes = int16(planes);
  image.sampleBytes = 1;
  const std::size_t bytes = std::size_t(width) * std::size_t(height) * std::size_t(planes);
  // The allocator reports failure by an exception, which this build cannot
  // catch: the memory is asked for here first.
  void* probe = runner::AllocateImageMemory(bytes);
  if (probe == nullptr) {
    g_error = "the browser cannot give the page " + std::to_string(bytes >> 20) + " MB for the picture";
    return {};
  }
  runner::ReleaseImageMemory(probe, bytes);
  image.pixels.resize(bytes);
  return image;
}

// The settings as the page names them, as the tool's options of the same
// names: a row of the RGB table, a blend method (BlendMethod) and the
// channel cleared (kNoChannelCleared for none).
Choice ChoiceOf(int order, int blend, int cleared) {
  const int methods = int(kBlendMethodNames.size());
  return {int16(order), BlendMethod(std::clamp(blend, 0, methods - 1)), cleared};
}

// Readies the host of `which` for a run with the settings written into the
// filter's block before start, progress and abort through the host's
// callbacks. A run for the dialog hands the filter the whole picture at once
// (its preview needs it), the others go in bands of the settings model's
// planning.
runner::Host* Ready(int which, const Choice& choice, bool dialog) {
  runner::Host* host = HostOf(which);
  if (host == nullptr) return nullptr;
  FilterRecord& record = host->record();
  record.abortProc = Cancelled;
  record.progressProc = Progress;
  host->OfferDisplayPixels(dialog);
  host->LeaveDialogsToPerson(dialog);
  const runner::Image& image = host->source();
  const int16 bands = dialog ? 0 : int16(PlanBandRows(image.width, image.height, image.PixelBytes()));
  host->BeforeStart([host, choice, bands] {
    FilterParameters* block = ParametersOf(&host->record());
    if (block == nullptr) return;
    ApplyChoice(*block, choice);
    if (bands > 0) block->bandRows = bands;
  });
  g_cancelled = false;
  return host;
}

// Whether the picture made by vantrel_picture or vantrel_decode_png can be
// held now: not while a run is under way over a picture held. False with
// the reason in g_error.
bool PendingCanBeHeld() {
  if (g_pending.pixels.empty()) {
    g_error = "no picture to hold";
    return false;
  }
  if (g_run != nullptr) {
    g_error = "a run is under way";
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

// The reason the last call that failed gives.
EMSCRIPTEN_KEEPALIVE const char* vantrel_error() { return g_error.c_str(); }

// Why a picture of `width` x `height` pixels is too large for the page, or
// "" when it is not.
EMSCRIPTEN_KEEPALIVE const char* vantrel_size_problem(int width, int height) {
  g_error = SizeProblem(width, height, 3);
  return g_error.c_str();
}

// The display name of row `index` of the RGB table ("" outside it).
EMSCRIPTEN_KEEPALIVE const char* vantrel_order_name(int index) {
  return ChannelOrderName(plugInModeRGBColor, int16(index));
}
EMSCRIPTEN_KEEPALIVE int vantrel_order_count() { return ChannelOrderCount(plugInModeRGBColor); }

// A picture of `width` x `height` pixels of `planes` (3: RGB, 4: RGB and
// transparency) bytes, to be filled by the caller at the address answered
// and then held by vantrel_hold. 0 with the reason in vantrel_error when it
// is too large.
EMSCRIPTEN_KEEPALIVE uint8* vantrel_picture(int width, int height, int planes) {
  g_pending = NewImage(width, height, planes);
  return g_pending.pixels.empty() ? nullptr : g_pending.pixels.data();
}

// Keeps the transparency plane of a picture made by vantrel_picture with 4
// planes only where some pixel is not opaque: one opaque throughout becomes
// RGB in place, as the page holds opaque pictures. Answers its planes.
EMSCRIPTEN_KEEPALIVE int vantrel_settle_alpha() {
  runner::Image& p = g_pending;
  if (p.planes != 4) return p.planes;
  const std::size_t count = std::size_t(p.width) * std::size_t(p.height);
  uint8* at = p.pixels.data();
  bool opaque = true;
  for (std::size_t i = 0; i < count; ++i) opaque &= at[4 * i + 3] == 255;
  if (!opaque) return 4;
  for (std::size_t i = 0; i < count; ++i) {
    at[3 * i] = at[4 * i];
    at[3 * i + 1] = at[4 * i + 1];
    at[3 * i + 2] = at[4 * i + 2];
  }
  p.pixels.resize(count * 3);  // the memory stays the module's to reuse: it never shrinks
  p.planes = 3;
  return 3;
}

// Drops a picture made by vantrel_picture or vantrel_decode_png and not
// held (an opening that failed or was cancelled), giving back its memory.
EMSCRIPTEN_KEEPALIVE void vantrel_drop() { g_pending = runner::Image{}; }

// Decodes the PNG file of `size` bytes at `bytes` into a new picture of
// `planes` bytes a pixel, to be held by vantrel_hold; answers false with
// the reason in vantrel_error.
EMSCRIPTEN_KEEPALIVE bool vantrel_decode_png(const uint8* bytes, int size, int planes) {
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes, size, &width, &height, &channels)) {
    g_error = std::string("not a PNG file the page can read (") + stbi_failure_reason() + ")";
    return false;
  }
  if (vantrel_picture(width, height, planes) == nullptr) return false;
  stbi_uc* decoded = stbi_load_from_memory(bytes, size, &width, &height, &channels, planes);
  if (decoded == nullptr) {
    const std::string why = stbi_failure_reason() ? stbi_failure_reason() : "";
    g_error = "the PNG file cannot be decoded: it is damaged or cut short" + (why.empty() ? "" : " (" + why + ")");
    g_pending = runner::Image{};
    return false;
  }
  std::memcpy(g_pending.pixels.data(), decoded, g_pending.pixels.size());
  stbi_image_free(decoded);
  return true;
}

// Holds the picture made by vantrel_picture or vantrel_decode_png as the
// picture of this worker, and a thumbnail of it whose longest side is at
// most `longest` pixels (a box average of the pixels it covers, each plane
// on its own). Both are filtered by hosts of their own.
EMSCRIPTEN_KEEPALIVE bool vantrel_hold(int longest) {
  if (!PendingCanBeHeld()) return false;
  const runner::Image& whole = g_pending;
  const double scale = std::min(1.0, double(longest) / std::max(whole.width, whole.height));
  const int width = std::max(1, int(whole.width * scale + 0.5));
  const int height = std::max(1, int(whole.height * scale + 0.5));
  runner::Image thumbnail = NewImage(width, height, whole.planes);
  if (thumbnail.pixels.empty()) return false;
  // Each row of the thumbnail: the rows it covers summed sample by sample
  // (a loop the compiler vectorises), then the columns each pixel covers.
  const std::size_t rowSamples = std::size_t(whole.width) * std::size_t(whole.planes);
  std::vector<uint32> sums(rowSamples);
  for (int y = 0; y < height; ++y) {
    const int top = y * whole.height / height, bottom = std::max(top + 1, (y + 1) * whole.height / height);
    std::fill(sums.begin(), sums.end(), 0u);
    for (int yy = top; yy < bottom; ++yy) {
      const uint8* row = whole.At(yy, 0);
      for (std::size_t i = 0; i < rowSamples; ++i) sums[i] += row[i];
    }
    for (int x = 0; x < width; ++x) {
      const int left = x * whole.width / width, right = std::max(left + 1, (x + 1) * whole.width / width);
      const uint32 count = uint32(bottom - top) * uint32(right - left);
      for (int k = 0; k < whole.planes; ++k) {
        uint32 sum = 0;
        for (int xx = left; xx < right; ++xx) sum += sums[std::size_t(xx) * std::size_t(whole.planes) + std::size_t(k)];
        thumbnail.At(y, x)[k] = uint8((sum + count / 2) / count);
      }
    }
  }
  auto& picture = HeldHost(web::Held::Picture);
  auto& small = HeldHost(web::Held::Thumbnail);
  picture.reset();
  small.reset();
  const runner::EntryProc entry = Entry();
  picture = std::make_unique<runner::Host>(entry);
  small = std::make_unique<runner::Host>(entry);
  // Runs write straight into the output: the source stays as it came, and
  // the picture is held twice at most.
  picture->RollBackFailedRuns(false);
  small->RollBackFailedRuns(false);
  picture->SetImage(std::move(g_pending), plugInModeRGBColor);
  small->SetImage(std::move(thumbnail), plugInModeRGBColor);
  g_pending = runner::Image{};
  return true;
}

// Holds the picture made by vantrel_picture or vantrel_decode_png as the
// picture of a batch (2), in place of the one before; the picture opened and
// its thumbnail stay. Filtered by a host of its own.
EMSCRIPTEN_KEEPALIVE bool vantrel_hold_batch() {
  if (!PendingCanBeHeld()) return false;
  auto& batch = HeldHost(web::Held::Batch);
  batch = std::make_unique<runner::Host>(Entry());
  batch->RollBackFailedRuns(false);
  batch->SetImage(std::move(g_pending), plugInModeRGBColor);
  g_pending = runner::Image{};
  return true;
}

// Lets go of the picture of a batch, giving back its memory (not while a run
// is under way over it).
EMSCRIPTEN_KEEPALIVE void vantrel_release_batch() {
  auto& batch = HeldHost(web::Held::Batch);
  if (g_run == nullptr || g_run != batch.get()) batch.reset();
}

// The size of a held picture (0: the picture, 1: its thumbnail, 2: the
// picture of a batch); 0 when none is held there.
EMSCRIPTEN_KEEPALIVE int vantrel_width(int which) { return HostOf(which) ? HostOf(which)->source().width : 0; }
EMSCRIPTEN_KEEPALIVE int vantrel_height(int which) { return HostOf(which) ? HostOf(which)->source().height : 0; }
EMSCRIPTEN_KEEPALIVE int vantrel_planes(int which) { return HostOf(which) ? HostOf(which)->source().planes : 0; }
EMSCRIPTEN_KEEPALIVE const uint8* vantrel_source(int which) {
  return HostOf(which) ? HostOf(which)->source().pixels.data() : nullptr;
}

// A run over a held picture, a call at a time so that the worker can take
// in the page's messages between them: the selectors up to start (answers
// the first result that is not noErr, 0 when the run goes on), then
// continue while vantrel_run_step answers true, then finish
// (vantrel_run_end answers the run's result: 0, or -128 when cancelled).
// Without a picture held, or with a run already under way, start answers
// filterBadParameters and no run begins; step answers false and end
// filterBadParameters when no run is under way, never the result of a run
// that did not take place.
EMSCRIPTEN_KEEPALIVE int vantrel_run_start(int which, int order, int blend, int exclude) {
  if (g_run != nullptr) {
    g_error = "a run is under way already";
    return filterBadParameters;
  }
  runner::Host* host = Ready(which, ChoiceOf(order, blend, exclude), false);
  if (host == nullptr) {
    g_error = "no picture is held";
    return filterBadParameters;
  }
  g_run = host;
  return host->StartRun();
}
EMSCRIPTEN_KEEPALIVE bool vantrel_run_step() { return g_run != nullptr && g_run->StepRun(); }
EMSCRIPTEN_KEEPALIVE int vantrel_run_end() {
  if (g_run == nullptr) {
    g_error = "no run is under way";
    return filterBadParameters;
  }
  runner::Host* host = std::exchange(g_run, nullptr);
  return host->EndRun();
}

// The pixels the last run over `which` wrote, as large as its source.
EMSCRIPTEN_KEEPALIVE const uint8* vantrel_output(int which) {
  return HostOf(which) ? HostOf(which)->destination().pixels.data() : nullptr;
}

// The page's Cancel: the abort callback says stop from now until the next
// run starts.
EMSCRIPTEN_KEEPALIVE void vantrel_cancel() { g_cancelled = true; }

// Shows the filter's dialog over the held picture as an editor does when the
// user asks for it, through the page: a run with the parameters selector
// first, whose start shows the dialog and returns once the page closes it. The preview anchor is
// `width` x `height` client pixels. Answers the run's result. Suspends
// while the dialog waits for the page (called asynchronously).
EMSCRIPTEN_KEEPALIVE int vantrel_dialog(int width, int height, int order, int blend, int exclude) {
  if (g_run != nullptr) return filterBadParameters;
  runner::Host* host = Ready(int(web::Held::Picture), ChoiceOf(order, blend, exclude), true);
  if (host == nullptr) return filterBadParameters;
  web::PageDialog page(*host, dialog::PixelRect{0, 0, width, height});
  return host->RunFilter(true);
}

}  // extern "C"
