// A file written by one of libvips' savers (TIFF other than deflate) from
// rows that come as the filter finishes them, the saver working on threads
// of its own.
#include <vips/vips.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "host/image_modes.h"
#include "pictures/samples.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// A file written by a libvips saver on threads of its own. The saver is
// handed an image whose pixels are made of the rows written here as they
// come: its threads ask for them in strips, top to bottom, a few at a time;
// a request waits for rows not yet written, and rows are let go once every
// one of their pixels has been asked for (each is asked for once).
class EncodedRows : public RowWriter {
 public:
  EncodedRows(const PictureInfo& info, int bits)
      : info_(info), bits_(bits),
        hostRowBytes_(std::size_t(info.width) * info.planes * std::size_t(host::SampleBytes(info.imageMode))) {}
  ~EncodedRows() override {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> hold(lock_);
      abandoned_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // Starts the saver on `target` (the path and libvips' options).
  std::string Start(const std::string& target, VipsImage* original, VipsInterpretation type) {
    VipsImage* made = vips_image_new();
    auto keepMade = Keep(made);
    vips_image_init_fields(made, info_.width, info_.height, info_.planes,
                           bits_ == 16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR, VIPS_CODING_NONE, type,
                           original != nullptr ? original->Xres : 1.0, original != nullptr ? original->Yres : 1.0);
    if (vips_image_pipelinev(made, VIPS_DEMAND_STYLE_FATSTRIP, nullptr) != 0 ||
        vips_image_generate(made, nullptr, Generate, nullptr, this, nullptr) != 0)
      return VipsReason("cannot prepare the output");
    VipsImage* out = nullptr;
    if (vips_copy(made, &out, nullptr) != 0) return VipsReason("cannot prepare the output");
    auto keepOut = Keep(out);
    if (original != nullptr) vips_image_map(original, CopyField, out);
    try {
      thread_ = std::thread([this, keepOut, target] {
        const bool ok = vips_image_write_to_file(static_cast<VipsImage*>(keepOut.get()), target.c_str(), nullptr) == 0;
        std::string why = ok ? "" : VipsReason("cannot write the file");
        {
          std::lock_guard<std::mutex> hold(lock_);
          if (error_.empty()) error_ = why;
          saverEnded_ = true;
        }
        changed_.notify_all();
      });
    } catch (const std::system_error& e) {
      return std::string("cannot start a thread (") + e.what() + ")";
    }
    return "";
  }

  std::string Write(const uint8* rows, int count, std::ptrdiff_t stride) override {
    if (count > info_.height - written_) return "more rows than the picture has";
    // As they come: the saver's threads turn them to the file's convention.
    Chunk chunk;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!spares_.empty()) {
        chunk = std::move(spares_.back());
        spares_.pop_back();
      }
    }
    chunk.first = written_;
    chunk.rows = count;
    chunk.served = 0;
    if (chunk.bytes == nullptr || chunk.size != std::size_t(count) * hostRowBytes_) {
      chunk.size = std::size_t(count) * hostRowBytes_;
      chunk.bytes.reset(new uint8[chunk.size]);
    }
    for (int i = 0; i < count; ++i) std::memcpy(chunk.bytes.get() + std::size_t(i) * hostRowBytes_, rows + i * stride, hostRowBytes_);
    std::unique_lock<std::mutex> hold(lock_);
    // A saver that waits for rows is let have them, however many wait.
    changed_.wait(hold, [&] { return saverEnded_ || starved_ > 0 || queued_ < kAhead; });
    if (saverEnded_) return error_.empty() ? "the writer stopped early" : error_;
    queued_ += chunk.size;
    line_.push_back(std::move(chunk));
    written_ += count;
    changed_.notify_all();
    return "";
  }

  std::string Finish() override {
    if (written_ < info_.height) return "the picture is missing rows";
    if (thread_.joinable()) thread_.join();
    return error_;
  }

 private:
  static int Generate(VipsRegion* region, void* /*sequence*/, void* self, void* /*unused*/, gboolean* /*stop*/) {
    return static_cast<EncodedRows*>(self)->Fill(region);
  }

  int Fill(VipsRegion* region) {
    const VipsRect& r = region->valid;
    const std::size_t hostPixelBytes = hostRowBytes_ / std::size_t(info_.width);
    std::unique_lock<std::mutex> hold(lock_);
    const int last = r.top + r.height;
    if (written_ < last) {
      ++starved_;
      changed_.notify_all();
      changed_.wait(hold, [&] { return abandoned_ || written_ >= last; });
      --starved_;
    }
    if (abandoned_) return -1;
    for (int y = r.top; y < last; ++y) {
      Chunk* chunk = nullptr;
      for (Chunk& c : line_)
        if (y >= c.first && y < c.first + c.rows) chunk = &c;
      if (chunk == nullptr) return -1;  // asked for again after it was let go
      HostToFile(chunk->bytes.get() + std::size_t(y - chunk->first) * hostRowBytes_ + std::size_t(r.left) * hostPixelBytes,
                 std::size_t(r.width) * hostPixelBytes, info_.planes, info_.imageMode, bits_,
                 VIPS_REGION_ADDR(region, r.left, y));
      chunk->served += std::size_t(r.width);
    }
    // Rows from the top whose every pixel has been asked for are let go.
    while (!line_.empty() && line_.front().served == std::size_t(line_.front().rows) * std::size_t(info_.width)) {
      queued_ -= line_.front().size;
      if (spares_.size() < 2) spares_.push_back(std::move(line_.front()));
      line_.pop_front();
    }
    changed_.notify_all();
    return 0;
  }

  PictureInfo info_;
  int bits_;
  std::size_t hostRowBytes_;  // as handed in
  std::thread thread_;

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Chunk> line_;
  std::vector<Chunk> spares_;  // chunks written, kept to be filled again
  std::size_t queued_ = 0;
  int written_ = 0;  // rows handed in
  int starved_ = 0;  // requests waiting for rows
  bool saverEnded_ = false;
  bool abandoned_ = false;
  std::string error_;
};

}  // namespace

std::string EncodeRows(const PictureInfo& info, int bits, const std::string& target, VipsImage* original,
                       VipsInterpretation type, std::unique_ptr<RowWriter>& writer) {
  auto encoded = std::make_unique<EncodedRows>(info, bits);
  std::string why = encoded->Start(target, original, type);
  writer = std::move(encoded);
  return why;
}

}  // namespace vantrel::pictures
