// What libvips reads and writes, as the filter needs to know it: the image
// modes the filter takes, the saver each extension picks and its options,
// and what each format can hold.
#include <vips/vips.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "core/settings.h"
#include "host/image_modes.h"
#include "pictures/picture.h"
#include "pictures/raw_picture.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

const char* SampleName(VipsBandFormat format) {
  switch (format) {
    case VIPS_FORMAT_CHAR: return "signed 8-bit";
    case VIPS_FORMAT_SHORT: return "signed 16-bit";
    case VIPS_FORMAT_UINT: case VIPS_FORMAT_INT: return "32-bit";
    case VIPS_FORMAT_FLOAT: case VIPS_FORMAT_DOUBLE: return "floating-point";
    default: return "complex";
  }
}

VipsSaveable SaveableBy(const char* saver) {
  const GType type = vips_type_find("VipsOperation", saver);
  if (type == 0) return VIPS_SAVEABLE_ANY;
  auto* cls = static_cast<VipsForeignSaveClass*>(g_type_class_ref(type));
  const VipsSaveable saveable = cls->saveable;
  g_type_class_unref(cls);
  return saveable;
}

// Whether the saver writes 16-bit samples as they are, not cast to 8 bits.
bool Keeps16Bits(const char* saver) {
  const GType type = vips_type_find("VipsOperation", saver);
  if (type == 0) return true;
  auto* cls = static_cast<VipsForeignSaveClass*>(g_type_class_ref(type));
  const bool keeps = cls->format_table == nullptr || cls->format_table[VIPS_FORMAT_USHORT] == VIPS_FORMAT_USHORT;
  g_type_class_unref(cls);
  return keeps;
}

bool SaverIs(const char* saver, const char* kind) { return std::strstr(saver, kind) != nullptr; }

// What a picture asks of the format it is written in.
struct Kind {
  bool cmyk = false;
  bool alpha = false;
  bool deep = false;  // 16-bit samples
};

// What of `kind` the format of `saver` cannot hold, or nullptr.
const char* Lacks(const char* saver, const Kind& kind) {
  const VipsSaveable saveable = SaveableBy(saver);
  if (kind.deep && !Keeps16Bits(saver)) return kind.cmyk ? "16-bit CMYK samples" : "16-bit samples";
  if (kind.cmyk && kind.alpha && saveable != VIPS_SAVEABLE_ANY) return "CMYK with transparency";
  if (kind.cmyk && saveable != VIPS_SAVEABLE_RGB_CMYK && saveable != VIPS_SAVEABLE_ANY) return "CMYK pixels";
  if (kind.alpha && saveable != VIPS_SAVEABLE_ANY && saveable != VIPS_SAVEABLE_RGBA &&
      saveable != VIPS_SAVEABLE_RGBA_ONLY)
    return "the transparency plane";
  return nullptr;
}

// The extensions of the formats people use that hold `kind` in this build,
// in words (".tif, .jpg or .vraw"); only those that take any size when
// `large`.
std::string Holding(const Kind& kind, bool large) {
  std::vector<std::string> fit;
  for (const char* ext : {".png", ".jpg", ".tif", ".webp", ".jxl", ".jp2", ".heic", ".avif", ".gif", ".ppm"}) {
    const char* saver = SaverFor(std::string("x") + ext);
    if (saver == nullptr || Lacks(saver, kind) != nullptr) continue;
    if (large && !IsPngSaver(saver) && !IsJpegSaver(saver) && !IsTiffSaver(saver)) continue;
    fit.push_back(ext);
  }
  if (!large) fit.push_back(kRawExtension);
  std::string words;
  for (std::size_t i = 0; i < fit.size(); ++i)
    words += (i == 0 ? "" : i + 1 == fit.size() ? " or " : ", ") + fit[i];
  return words;
}

// The JPEG format's largest side.
constexpr int kJpegSide = 65500;

}  // namespace

// What the filter takes: 8- or 16-bit RGB or CMYK, each with or without a
// transparency plane. Palette images arrive here already expanded by the
// loader, to RGB with their transparency as a fourth plane, and are taken as
// such (the output is written as full RGB). Answers the image mode (RGB48 and
// CMYK64 for 16 bits), or 0 with `why` set.
int16 ModeOf(VipsImage* image, std::string& why) {
  if (image->Coding != VIPS_CODING_NONE) {
    why = "coded pixels (LABQ or RAD); the filter takes 8- and 16-bit RGB and CMYK images";
    return 0;
  }
  const bool deep = image->BandFmt == VIPS_FORMAT_USHORT;
  if (image->BandFmt != VIPS_FORMAT_UCHAR && !deep) {
    why = std::string(SampleName(image->BandFmt)) + " samples; the filter takes 8- and 16-bit images only";
    return 0;
  }
  const int bands = image->Bands;
  if (image->Type == VIPS_INTERPRETATION_CMYK && (bands == 4 || bands == 5))
    return deep ? plugInModeCMYK64 : plugInModeCMYKColor;
  if (bands <= 2) {
    why = "a greyscale image; the filter takes RGB and CMYK images";
    return 0;
  }
  const std::set<VipsInterpretation> rgb = {VIPS_INTERPRETATION_sRGB, VIPS_INTERPRETATION_RGB,
                                            VIPS_INTERPRETATION_RGB16, VIPS_INTERPRETATION_scRGB,
                                            VIPS_INTERPRETATION_MULTIBAND};
  if ((bands == 3 || bands == 4) && rgb.count(image->Type) != 0) return deep ? plugInModeRGB48 : plugInModeRGBColor;
  why = std::to_string(bands) + "-band " + vips_enum_nick(VIPS_TYPE_INTERPRETATION, image->Type) +
        " image; the filter takes RGB and CMYK images";
  return 0;
}

bool IsRaw(const std::string& path) { return Extension(path) == kRawExtension; }

const char* SaverFor(const std::string& path) {
  static const std::set<std::string> own = {".png", ".jpg", ".jpeg", ".jpe", ".tif", ".tiff"};
  if (own.count(Extension(path)) == 0) KnowEveryFormat();
  const char* saver = vips_foreign_find_save(path.c_str());
  if (saver == nullptr) vips_error_clear();
  return saver;
}

bool IsPngSaver(const char* saver) { return SaverIs(saver, "png") || SaverIs(saver, "Png"); }
bool IsJpegSaver(const char* saver) { return SaverIs(saver, "jpeg") || SaverIs(saver, "Jpeg"); }
bool IsTiffSaver(const char* saver) { return SaverIs(saver, "tiff") || SaverIs(saver, "Tiff"); }

bool IsDeflateTiff(const char* saver, const SaveOptions& options) {
  return IsTiffSaver(saver) && options.compression == "deflate";
}

std::string OptionString(const char* saver, const SaveOptions& options) {
  std::string s;
  auto add = [&s](const std::string& item) { s += (s.empty() ? "[" : ",") + item; };
  const bool png = IsPngSaver(saver);
  const bool tiff = IsTiffSaver(saver);
  if ((png || tiff) && !options.compression.empty()) add("compression=" + options.compression);
  // Adaptive row filtering, as libpng and most tools choose it: far smaller
  // files than libvips' unfiltered default, and no slower to write.
  if (png) add("filter=all");
  return s.empty() ? s : s + "]";
}

std::string CheckWritable(const PictureInfo& picture, const std::string& path, const SaveOptions& options) {
  const bool large = picture.width > kMostSide || picture.height > kMostSide;
  const Kind kind{host::CmykMode(picture.imageMode), picture.planes > host::ColourPlanes(picture.imageMode),
                  OutputBits(picture.imageMode, options) == 16};
  const std::string most = std::to_string(kMostSide);
  if (IsRaw(path)) return large ? "raw images hold at most " + most + " pixels a side; write " + Holding(kind, true) : "";
  const char* saver = SaverFor(path);
  const std::string ext = Extension(path);
  if (saver == nullptr) return "no image format for the extension \"" + ext + "\"; vantrel writes " + Holding(Kind{}, false);
  if (large && !IsPngSaver(saver) && !IsJpegSaver(saver) && !IsTiffSaver(saver))
    return "pictures beyond " + most + " pixels a side are written as " + Holding(kind, true);
  if (IsJpegSaver(saver) && (picture.width > kJpegSide || picture.height > kJpegSide))
    return ".jpg files hold at most " + std::to_string(kJpegSide) + " pixels a side";
  if (const char* lacking = Lacks(saver, kind)) {
    std::string why = ext + " files cannot hold " + lacking + "; write " + Holding(kind, large);
    // The same picture at 8 bits may fit the format after all.
    if (kind.deep && Lacks(saver, Kind{kind.cmyk, kind.alpha, false}) == nullptr) why += ", or add --depth 8";
    return why;
  }
  const std::string& c = options.compression;
  if (IsPngSaver(saver)) return CheckPngLevel(c);
  if (!c.empty() && IsTiffSaver(saver) &&
      std::find(std::begin(kTiffCompressions), std::end(kTiffCompressions), c) == std::end(kTiffCompressions))
    return "TIFF compression \"" + c + "\" is not one of " + TiffCompressionNames();
  return "";
}

}  // namespace vantrel::pictures
