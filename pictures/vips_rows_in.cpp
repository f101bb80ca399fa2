// Pictures read row by row: decoded by libvips on a thread of its own a
// strip at a time, or, for a JPEG with restart markers, by our decoder on
// every core; their rows turned to the host's convention.
#include <vips/vips.h>

#include <algorithm>
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
#include "pictures/jpeg_rows.h"
#include "pictures/raw_picture.h"
#include "pictures/samples.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// Strips of about this many bytes are decoded at a time.
constexpr std::size_t kStripBytes = std::size_t(1) << 20;

// A picture decoded by libvips on a thread of its own, a strip at a time
// from the top (the decoder's sequential access), each strip turned to the
// host's convention there and waiting in a short line until it is read.
class DecodedRows : public RowReader {
 public:
  DecodedRows(std::shared_ptr<void> image, int16 mode)
      : image_(std::move(image)), mode_(mode),
        rowBytes_(std::size_t(Image()->Xsize) * std::size_t(Image()->Bands) * std::size_t(host::SampleBytes(mode))) {}
  ~DecodedRows() override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  std::string Read(uint8* rows, int count, std::ptrdiff_t stride) override {
    if (!thread_.joinable() && !started_) {
      started_ = true;
      try {
        thread_ = std::thread([this] { Decode(); });
      } catch (const std::system_error& e) {
        return std::string("cannot start a thread (") + e.what() + ")";
      }
    }
    std::unique_lock<std::mutex> hold(lock_);
    for (int done = 0; done < count;) {
      changed_.wait(hold, [&] { return !line_.empty() || ended_; });
      if (line_.empty()) return error_.empty() ? "the picture ended before its last row" : error_;
      // Only this side takes chunks off the line: the front one stays while
      // it is copied without the lock.
      Chunk& chunk = line_.front();
      const int n = std::min(count - done, chunk.rows - taken_);
      const uint8* from = chunk.bytes.get() + std::size_t(taken_) * rowBytes_;
      hold.unlock();
      for (int i = 0; i < n; ++i) std::memcpy(rows + (done + i) * stride, from + std::size_t(i) * rowBytes_, rowBytes_);
      hold.lock();
      done += n;
      taken_ += n;
      if (taken_ == chunk.rows) {
        queued_ -= chunk.size;
        spares_.push_back(std::move(chunk));
        line_.pop_front();
        taken_ = 0;
        changed_.notify_all();
      }
    }
    return "";
  }

 private:
  VipsImage* Image() const { return static_cast<VipsImage*>(image_.get()); }

  void Decode() {
    VipsImage* image = Image();
    VipsRegion* region = vips_region_new(image);
    const int rows = int(std::clamp<std::size_t>(kStripBytes / rowBytes_, 1, std::size_t(image->Ysize)));
    bool failed = region == nullptr;
    for (int top = 0; top < image->Ysize && !failed; top += rows) {
      VipsRect strip{0, top, image->Xsize, std::min(rows, image->Ysize - top)};
      failed = vips_region_prepare(region, &strip) != 0 || Take(region, &strip) != 0;
    }
    if (region != nullptr) g_object_unref(region);
    std::string why = failed ? DecodeFailure("cannot decode the pixels") : "";
    {
      std::lock_guard<std::mutex> hold(lock_);
      ended_ = true;
      if (error_.empty()) error_ = why;
    }
    changed_.notify_all();
  }

  // Puts the strip `area` of `region` in the line, waiting for room there;
  // answers -1 when the reading has stopped.
  int Take(VipsRegion* region, const VipsRect* area) {
    Chunk chunk;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!spares_.empty()) {
        chunk = std::move(spares_.back());
        spares_.pop_back();
      }
    }
    chunk.first = area->top;
    chunk.rows = area->height;
    if (chunk.bytes == nullptr || chunk.size != std::size_t(area->height) * rowBytes_) {
      chunk.size = std::size_t(area->height) * rowBytes_;
      chunk.bytes.reset(new uint8[chunk.size]);
    }
    for (int y = 0; y < area->height; ++y)
      FileToHost(VIPS_REGION_ADDR(region, 0, area->top + y), chunk.bytes.get() + std::size_t(y) * rowBytes_, rowBytes_,
                 Image()->Bands, mode_);
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return stop_ || queued_ < kAhead; });
    if (stop_) return -1;
    queued_ += chunk.size;
    line_.push_back(std::move(chunk));
    changed_.notify_all();
    return 0;
  }

  std::shared_ptr<void> image_;
  int16 mode_;
  std::size_t rowBytes_;
  std::thread thread_;
  bool started_ = false;
  int taken_ = 0;  // rows read of the front chunk

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Chunk> line_;
  std::vector<Chunk> spares_;  // chunks read, kept for the decoder to fill again
  std::size_t queued_ = 0;
  bool ended_ = false;
  bool stop_ = false;
  std::string error_;
};

// A JPEG decoded on every core (jpeg_rows.h), its rows turned to the host's
// convention.
class JpegPieceRows : public RowReader {
 public:
  JpegPieceRows(std::unique_ptr<JpegRows> jpeg, int16 mode) : jpeg_(std::move(jpeg)), mode_(mode) {}
  std::string Read(uint8* rows, int count, std::ptrdiff_t stride) override {
    std::string why = jpeg_->Read(rows, count, stride);
    if (!why.empty()) return Damaged(why);
    const std::size_t rowBytes = std::size_t(jpeg_->width()) * std::size_t(jpeg_->channels());
    if (why.empty() && host::CmykMode(mode_))
      for (int i = 0; i < count; ++i) FileToHost(rows + i * stride, rowBytes, jpeg_->channels(), mode_);
    return why;
  }

 private:
  std::unique_ptr<JpegRows> jpeg_;
  int16 mode_;
};

}  // namespace

std::string OpenRows(const std::string& path, PictureInfo& info, std::unique_ptr<RowReader>& reader) {
  if (IsRaw(path)) {
    Picture picture;
    if (std::string why = ReadRawPicture(path, picture); !why.empty()) return why;
    info = InfoOf(picture);
    reader = HeldRows(std::move(picture));
    return "";
  }
  std::shared_ptr<void> keep;
  int16 mode = 0;
  if (std::string why = OpenImage(path, keep, mode); !why.empty()) return why;
  const VipsImage* image = static_cast<VipsImage*>(keep.get());
  info = PictureInfo{image->Xsize, image->Ysize, int16(image->Bands), mode, keep};
  // A JPEG with restart markers on whole rows is decoded on every core. A
  // damaged one that is to be read all the same goes to libvips, whose
  // warnings tell what was wrong.
  const char* loader = nullptr;
  if (FailOn() != VIPS_FAIL_ON_NONE && vips_image_get_typeof(image, "vips-loader") != 0 &&
      vips_image_get_string(image, "vips-loader", &loader) == 0 && std::strcmp(loader, "jpegload") == 0) {
    auto jpeg = std::make_unique<JpegRows>();
    if (std::string why = jpeg->Open(path, JpegReadTuning{}); !why.empty()) return Damaged(why);
    if (jpeg->inPieces() && jpeg->channels() == image->Bands) {
      reader = std::make_unique<JpegPieceRows>(std::move(jpeg), mode);
      return "";
    }
  }
  vips_error_clear();
  reader = std::make_unique<DecodedRows>(keep, mode);
  return "";
}

}  // namespace vantrel::pictures
