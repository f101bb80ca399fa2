// What every reader and writer of image files shares: a picture's
// description, file extensions, and rows served from a picture held whole or
// gathered whole for a writer that takes the picture at once.
#include "core/settings.h"
#include "pictures/picture.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>

namespace vantrel::pictures {
namespace {

// Rows served from a picture held whole.
class Held : public RowReader {
 public:
  explicit Held(Picture picture) : picture_(std::move(picture)) {}
  std::string Read(uint8* rows, int count, std::ptrdiff_t stride) override {
    const runner::Image& image = picture_.pixels;
    if (count > image.height - next_) return "the picture has no more rows";
    const std::size_t bytes = std::size_t(image.width) * image.PixelBytes();
    for (int i = 0; i < count; ++i) std::memcpy(rows + i * stride, image.At(next_ + i, 0), bytes);
    next_ += count;
    return "";
  }

 private:
  Picture picture_;
  int next_ = 0;
};

// Rows gathered whole, then written by WritePicture.
class Gathered : public RowWriter {
 public:
  Gathered(const PictureInfo& info, const std::string& path, const SaveOptions& options)
      : path_(path), options_(options) {
    picture_.imageMode = info.imageMode;
    picture_.file = info.file;
    if (info.width <= kMostSide && info.height <= kMostSide)
      picture_.pixels = runner::Image(int16(info.width), int16(info.height), info.planes,
                                      host::SampleBytes(info.imageMode));
  }
  std::string Write(const uint8* rows, int count, std::ptrdiff_t stride) override {
    runner::Image& image = picture_.pixels;
    if (image.pixels.empty()) return "this format holds at most " + std::to_string(kMostSide) + " pixels a side";
    if (count > image.height - next_) return "more rows than the picture has";
    const std::size_t bytes = std::size_t(image.width) * image.PixelBytes();
    for (int i = 0; i < count; ++i) std::memcpy(image.At(next_ + i, 0), rows + i * stride, bytes);
    next_ += count;
    return "";
  }
  std::string Finish() override {
    if (picture_.pixels.pixels.empty() || next_ < picture_.pixels.height) return "the picture is missing rows";
    return WritePicture(picture_, picture_.pixels, path_, options_, &leftOut_);
  }
  std::string LeftOut() const override { return leftOut_; }

 private:
  Picture picture_;
  std::string path_;
  SaveOptions options_;
  int next_ = 0;
  std::string leftOut_;
};

}  // namespace

std::string Extension(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

std::string TiffCompressionNames() {
  std::string names;
  for (const char* m : kTiffCompressions) names += std::string(names.empty() ? "" : ", ") + m;
  return names;
}

std::string CheckPngLevel(const std::string& c) {
  if (!c.empty() && !(c.size() == 1 && c[0] >= '0' && c[0] <= '9'))
    return "PNG compression \"" + c + "\" is not a level from 0 to 9";
  return "";
}

PictureInfo InfoOf(const Picture& picture) {
  return {picture.pixels.width, picture.pixels.height, picture.pixels.planes, picture.imageMode, picture.file};
}

std::unique_ptr<RowReader> HeldRows(Picture picture) { return std::make_unique<Held>(std::move(picture)); }

std::unique_ptr<RowWriter> GatheredRows(const PictureInfo& info, const std::string& path, const SaveOptions& options) {
  return std::make_unique<Gathered>(info, path, options);
}

}  // namespace vantrel::pictures
