// Pictures written through libvips' savers or our writers: PNG, deflate TIFF
// and JPEG by the writers of ours that compress on every core, other TIFF
// by libvips' saver on its own threads, every other format whole; the
// input's profile, resolution and metadata kept, and its depth unless asked
// for another.
#include <vips/vips.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/image_modes.h"
#include "pictures/jpeg_stream.h"
#include "pictures/png_stream.h"
#include "pictures/raw_picture.h"
#include "pictures/samples.h"
#include "pictures/tiff_stream.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// How libvips is to take pixels of `imageMode` stored at `bits` bits.
VipsInterpretation StoredAs(int16 imageMode, int bits) {
  return host::CmykMode(imageMode) ? VIPS_INTERPRETATION_CMYK
         : bits == 16              ? VIPS_INTERPRETATION_RGB16
                                   : VIPS_INTERPRETATION_sRGB;
}

// PNG or deflate TIFF through a writer of ours that compresses on every
// core, row by row.
template <class Stream>
class StreamedRows : public RowWriter {
 public:
  StreamedRows(const PictureInfo& info, int bits)
      : info_(info), bits_(bits),
        hostRowBytes_(std::size_t(info.width) * info.planes * std::size_t(host::SampleBytes(info.imageMode))),
        fileRowBytes_(std::size_t(info.width) * info.planes * std::size_t(bits / 8)),
        convert_(host::DeepMode(info.imageMode) || host::CmykMode(info.imageMode) || bits != 8) {}
  template <class Header, class Tuning>
  std::string Open(const std::string& path, const Header& header, const Tuning& tuning) {
    return stream_.Open(path, header, tuning);
  }
  std::string Write(const uint8* rows, int count, std::ptrdiff_t stride) override {
    if (!convert_) return stream_.Write(rows, count, stride);
    converted_.resize(std::size_t(count) * fileRowBytes_);
    for (int i = 0; i < count; ++i)
      HostToFile(rows + i * stride, hostRowBytes_, info_.planes, info_.imageMode, bits_,
                 converted_.data() + std::size_t(i) * fileRowBytes_);
    return stream_.Write(converted_.data(), count, std::ptrdiff_t(fileRowBytes_));
  }
  std::string Finish() override { return stream_.Finish(); }
  std::string LeftOut() const override { return stream_.LeftOut(); }

 private:
  PictureInfo info_;
  int bits_;
  std::size_t hostRowBytes_, fileRowBytes_;
  bool convert_;
  std::vector<uint8> converted_;
  Stream stream_;
};

}  // namespace

std::string CreateRows(const PictureInfo& info, const std::string& path, const SaveOptions& options,
                       std::unique_ptr<RowWriter>& writer) {
  const char* saver = IsRaw(path) ? nullptr : SaverFor(path);
  const int bits = OutputBits(info.imageMode, options);
  auto* original = static_cast<VipsImage*>(info.file.get());
  if (saver != nullptr && IsPngSaver(saver) && !host::CmykMode(info.imageMode)) {
    PngHeader header;
    if (std::string why = PngHeaderOf(original, info.width, info.height, info.planes, bits, options, header);
        !why.empty())
      return why;
    auto png = std::make_unique<StreamedRows<PngStream>>(info, bits);
    std::string why = png->Open(path, header, PngTuning{options.threads, 0});
    writer = std::move(png);
    return why;
  }
  if (saver != nullptr && IsDeflateTiff(saver, options)) {
    auto tiff = std::make_unique<StreamedRows<TiffStream>>(info, bits);
    std::string why =
        tiff->Open(path, TiffHeaderOf(original, info.width, info.height, info.planes, info.imageMode, bits),
                   TiffTuning{options.threads});
    writer = std::move(tiff);
    return why;
  }
  if (saver != nullptr && IsJpegSaver(saver)) {
    auto jpeg = std::make_unique<StreamedRows<JpegStream>>(info, bits);
    std::string why =
        jpeg->Open(path, JpegHeaderOf(original, info.width, info.height, info.planes, JpegOptions(options, original)),
                   JpegTuning{options.threads, 0});
    writer = std::move(jpeg);
    return why;
  }
  if (saver != nullptr && IsTiffSaver(saver)) {
    return EncodeRows(info, bits, path + OptionString(saver, options), original, StoredAs(info.imageMode, bits),
                      writer);
  }
  writer = GatheredRows(info, path, options);
  return "";
}

std::string WritePicture(const Picture& picture, const runner::Image& pixels, const std::string& path,
                         const SaveOptions& options, std::string* leftOut) {
  if (leftOut != nullptr) leftOut->clear();
  const int bits = OutputBits(picture.imageMode, options);
  if (IsRaw(path)) return WriteRawPicture(pixels, picture.imageMode, path, bits);
  const char* saver = SaverFor(path);
  if (saver == nullptr) return "no image format for the extension \"" + Extension(path) + "\"";
  // The pixels go back to the files' convention and depth in a copy; 8-bit
  // RGB kept at 8 bits is written as it is.
  runner::Image converted;
  if (host::CmykMode(picture.imageMode) || host::DeepMode(picture.imageMode) || bits != 8)
    converted = HostToFile(pixels, picture.imageMode, bits);
  const runner::Image& stored = converted.pixels.empty() ? pixels : converted;
  auto* original = static_cast<VipsImage*>(picture.file.get());
  const std::ptrdiff_t stride = std::ptrdiff_t(stored.width) * std::ptrdiff_t(stored.PixelBytes());
  if (IsPngSaver(saver) && !host::CmykMode(picture.imageMode)) {
    PngHeader header;
    if (std::string why = PngHeaderOf(original, stored.width, stored.height, stored.planes, bits, options, header);
        !why.empty())
      return why;
    return WriteWhole(path, header, stored.pixels.data(), stride, PngTuning{options.threads, 0}, leftOut);
  }
  if (IsDeflateTiff(saver, options))
    return WriteWhole(path, TiffHeaderOf(original, stored.width, stored.height, stored.planes, picture.imageMode, bits),
                      stored.pixels.data(), stride, TiffTuning{options.threads}, leftOut);
  if (IsJpegSaver(saver))
    return WriteWhole(path,
                     JpegHeaderOf(original, stored.width, stored.height, stored.planes, JpegOptions(options, original)),
                      stored.pixels.data(), stride, JpegTuning{options.threads, 0}, leftOut);
  VipsImage* memory = vips_image_new_from_memory(stored.pixels.data(), stored.pixels.size(), stored.width,
                                                 stored.height, stored.planes,
                                                 bits == 16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
  if (memory == nullptr) return VipsReason("cannot wrap the pixels");
  auto keepMemory = Keep(memory);
  VipsImage* out = nullptr;
  if (vips_copy(memory, &out, "interpretation", StoredAs(picture.imageMode, bits), "xres", original ? original->Xres : 1.0, "yres",
                original ? original->Yres : 1.0, nullptr) != 0)
    return VipsReason("cannot prepare the output");
  auto keepOut = Keep(out);
  if (original != nullptr) vips_image_map(original, CopyField, out);
  const std::string target = path + OptionString(saver, options);
  if (vips_image_write_to_file(out, target.c_str(), nullptr) != 0) return VipsReason("cannot write the file");
  return "";
}

}  // namespace vantrel::pictures
