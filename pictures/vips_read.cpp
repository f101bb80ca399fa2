// Pictures read whole through libvips, or shrunk to thumbnails.
#include <vips/vips.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/settings.h"
#include "host/image_modes.h"
#include "pictures/raw_picture.h"
#include "pictures/samples.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// Whether the file at `path` starts as a JPEG or a PNG file does.
bool JpegOrPng(const std::string& path) {
  unsigned char head[4] = {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  const std::size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  const bool jpeg = got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
  const bool png = got == 4 && head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G';
  return jpeg || png;
}

// Receives the decoded image strip by strip, top to bottom, straight into
// the host's buffer.
int CopyRows(VipsRegion* region, VipsRect* area, void* target) {
  auto* pixels = static_cast<runner::Image*>(target);
  const std::size_t rowBytes = std::size_t(area->width) * pixels->PixelBytes();
  for (int y = area->top; y < area->top + area->height; ++y)
    std::memcpy(pixels->At(y, area->left), VIPS_REGION_ADDR(region, area->left, y), rowBytes);
  return 0;
}

// ReadPicture, shrunk to what `fit` answers when there is a `fit`.
std::string ReadImage(const std::string& path, const FitFor* fit, Picture& picture) {
  if (IsRaw(path)) {
    if (fit != nullptr) return "no thumbnails of raw images; convert it to TIFF first";
    return ReadRawPicture(path, picture);
  }
  std::shared_ptr<void> keep;
  int16 mode = 0;
  if (std::string why = OpenImage(path, keep, mode); !why.empty()) return why;
  VipsImage* image = static_cast<VipsImage*>(keep.get());
  VipsImage* pixelsFrom = image;
  std::shared_ptr<void> keepShrunk;
  if (fit != nullptr) {
    if (std::string why = ShrinkToFit(image, mode, *fit, keepShrunk); !why.empty()) return why;
    if (keepShrunk != nullptr) pixelsFrom = static_cast<VipsImage*>(keepShrunk.get());
  }
  if (pixelsFrom->Xsize > kMostSide || pixelsFrom->Ysize > kMostSide)
    return std::to_string(pixelsFrom->Xsize) + " x " + std::to_string(pixelsFrom->Ysize) + " pixels; held whole, a picture takes at most " +
           std::to_string(kMostSide) + " a side (the classic drive takes any size)";
  runner::Image pixels{int16(pixelsFrom->Xsize), int16(pixelsFrom->Ysize), int16(pixelsFrom->Bands),
                       host::SampleBytes(mode)};
  if (vips_sink_disc(pixelsFrom, CopyRows, &pixels) != 0) return DecodeFailure("cannot decode the pixels");
  FileToHost(pixels, mode);
  picture.pixels = std::move(pixels);
  picture.imageMode = mode;
  picture.file = keep;
  return "";
}

}  // namespace

std::string OpenImage(const std::string& path, std::shared_ptr<void>& keep, int16& mode) {
  if (!JpegOrPng(path)) KnowEveryFormat();
  VipsImage* image =
      vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", FailOn(), nullptr);
  if (image == nullptr) return OpenFailure();
  keep = Keep(image);
  std::string why;
  mode = ModeOf(image, why);
  return why;
}

std::string ReadPicture(const std::string& path, Picture& picture) { return ReadImage(path, nullptr, picture); }

std::string ReadThumbnail(const std::string& path, const FitFor& fit, Picture& picture) {
  return ReadImage(path, &fit, picture);
}

}  // namespace vantrel::pictures
