// Image files through libvips: PNG, JPEG, TIFF and whatever else it reads,
// 8- or 16-bit RGB (palette images expanded to it) or CMYK with an optional
// transparency plane; the output keeps the input's profile, resolution and
// metadata, its orientation tag among them (the pixels are never rotated),
// and its depth unless asked for another.
#include <dlfcn.h>
#include <gmodule.h>
#include <libintl.h>
#include <vips/vips.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "pictures/jpeg_rows.h"
#include "pictures/jpeg_settings.h"
#include "pictures/jpeg_stream.h"
#include "pictures/picture.h"
#include "pictures/png_stream.h"
#include "pictures/raw_picture.h"
#include "pictures/tiff_stream.h"

namespace vantrel::pictures {
namespace {

// libvips' loadable modules (HEIF, JPEG XL, ImageMagick, OpenSlide, PDF)
// pull in some fifty more libraries, whose loading and set-up take about
// half the start-up of a small job. They are loaded when a format may need
// them: never for JPEG and PNG files in and PNG, JPEG and TIFF files out,
// which libvips reads and writes itself and no module claims before it.
bool g_modulesDeferred = false;
std::string g_moduleFolder;  // where libvips keeps them
std::string g_prefix;        // the folder above its library's "lib..." one

// Where libvips' own library lies, and the folders beside it.
void FindVipsFolders() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&vips_init), &info) == 0 || info.dli_fname == nullptr) return;
  char* real = realpath(info.dli_fname, nullptr);
  if (real == nullptr) return;
  std::string library = real;
  std::free(real);
  const std::string folder = library.substr(0, library.rfind('/'));
  g_moduleFolder = folder + "/vips-modules-" + std::to_string(VIPS_MAJOR_VERSION) + "." + std::to_string(VIPS_MINOR_VERSION);
  const auto lib = folder.find("/lib");
  if (lib != std::string::npos) g_prefix = folder.substr(0, lib);
}

void LoadModules() {
  if (!g_modulesDeferred) return;
  g_modulesDeferred = false;
  GDir* folder = g_dir_open(g_moduleFolder.c_str(), 0, nullptr);
  if (folder == nullptr) return;
  // As libvips loads them: each registers its operations when opened.
  while (const char* name = g_dir_read_name(folder)) {
    if (!g_str_has_suffix(name, "." G_MODULE_SUFFIX)) continue;
    const std::string path = g_moduleFolder + "/" + name;
    if (GModule* module = g_module_open(path.c_str(), G_MODULE_BIND_LAZY)) g_module_make_resident(module);
  }
  g_dir_close(folder);
}

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


// The first line of libvips' error buffer, which is then cleared.
std::string VipsReason(const char* fallback) {
  std::string text = vips_error_buffer();
  vips_error_clear();
  const auto newline = text.find('\n');
  if (newline != std::string::npos) text.resize(newline);
  return text.empty() ? fallback : text;
}

// How the loaders meet damage: libvips' fail_on level.
VipsFailOn g_failOn = VIPS_FAIL_ON_ERROR;

// libvips' warnings (its own, and its decoders' and encoders'), kept to be
// reported against the file they concern instead of printed as they come,
// from whichever thread of libvips gives them.
struct Warnings {
  std::mutex lock;
  std::string first;
  int more = 0;
} g_warnings;

void KeepWarning(const gchar* /*domain*/, GLogLevelFlags /*level*/, const gchar* message, gpointer /*unused*/) {
  // libvips' notes on its own handling of a failure: the failure says it.
  for (const char* noise : {"error in tile", "read gave "})
    if (vips_isprefix(noise, message)) return;
  std::string text = message;
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  std::lock_guard<std::mutex> hold(g_warnings.lock);
  if (g_warnings.first.empty()) g_warnings.first = text;
  else ++g_warnings.more;
}

// A decoder's `reason` for stopping, as the user reads it.
std::string Damaged(const std::string& reason) {
  std::string why = "the file is damaged or cut short: " + reason;
  if (g_failOn != VIPS_FAIL_ON_NONE) why += "; --accept-damaged takes what can be read";
  return why;
}

// libvips' decoder failed: its reason, with the first warning the decoder
// gave (often the actual damage, "not enough data").
std::string DecodeFailure(const char* fallback) {
  std::string reason = VipsReason(fallback);
  std::lock_guard<std::mutex> hold(g_warnings.lock);
  if (!g_warnings.first.empty()) reason += " (" + g_warnings.first + ")";
  g_warnings.first.clear();
  g_warnings.more = 0;
  return Damaged(reason);
}

std::shared_ptr<void> Keep(VipsImage* image) {
  return std::shared_ptr<void>(image, [](void* p) { g_object_unref(p); });
}

const char* SampleName(VipsBandFormat format) {
  switch (format) {
    case VIPS_FORMAT_CHAR: return "signed 8-bit";
    case VIPS_FORMAT_SHORT: return "signed 16-bit";
    case VIPS_FORMAT_UINT: case VIPS_FORMAT_INT: return "32-bit";
    case VIPS_FORMAT_FLOAT: case VIPS_FORMAT_DOUBLE: return "floating-point";
    default: return "complex";
  }
}

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

// The saver libvips picks for `path`, or nullptr.
const char* SaverFor(const std::string& path) {
  static const std::set<std::string> own = {".png", ".jpg", ".jpeg", ".jpe", ".tif", ".tiff"};
  if (own.count(Extension(path)) == 0) KnowEveryFormat();
  const char* saver = vips_foreign_find_save(path.c_str());
  if (saver == nullptr) vips_error_clear();
  return saver;
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

bool IsPngSaver(const char* saver) { return SaverIs(saver, "png") || SaverIs(saver, "Png"); }
bool IsJpegSaver(const char* saver) { return SaverIs(saver, "jpeg") || SaverIs(saver, "Jpeg"); }
bool IsTiffSaver(const char* saver) { return SaverIs(saver, "tiff") || SaverIs(saver, "Tiff"); }


// The saver's options as libvips reads them after a file name.
std::string OptionString(const char* saver, const SaveOptions& options) {
  std::string s;
  auto add = [&s](const std::string& item) { s += (s.empty() ? "[" : ",") + item; };
  const bool png = IsPngSaver(saver);
  const bool tiff = SaverIs(saver, "tiff") || SaverIs(saver, "Tiff");
  if ((png || tiff) && !options.compression.empty()) add("compression=" + options.compression);
  // Adaptive row filtering, as libpng and most tools choose it: far smaller
  // files than libvips' unfiltered default, and no slower to write.
  if (png) add("filter=all");
  return s.empty() ? s : s + "]";
}

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

// The options a JPEG is written with: a JPEG input's own quality and chroma
// subsampling unless the options say otherwise, else kDefaultJpegQuality.
SaveOptions JpegOptions(const SaveOptions& options, VipsImage* original) {
  SaveOptions chosen = options;
  const char* loader = nullptr;
  JpegSettings input;
  if (original != nullptr && vips_image_get_typeof(original, VIPS_META_LOADER) != 0 &&
      vips_image_get_string(original, VIPS_META_LOADER, &loader) == 0 && std::strcmp(loader, "jpegload") == 0 &&
      original->filename != nullptr && ReadJpegSettings(original->filename, input).empty()) {
    if (chosen.quality < 0) chosen.quality = input.quality;
    // Our writer halves chroma both ways or not at all: 4:2:2 comes out 4:2:0.
    if (chosen.subsample < 0 && !input.subsampling.empty()) chosen.subsample = input.subsampling == "4:4:4" ? 0 : 1;
  }
  if (chosen.quality < 0) chosen.quality = kDefaultJpegQuality;
  return chosen;
}

// Copies the metadata of `from` onto `to`: profile, EXIF, XMP, comments and
// the rest, but not the fields that describe the pixels themselves.
void* CopyField(VipsImage* /*from*/, const char* name, GValue* value, void* to) {
  static const std::set<std::string> own = {"width",   "height",  "bands",    "format",         "coding",
                                            "interpretation",     "xoffset",  "yoffset",        "filename",
                                            "mode",    "scale",   "offset",   "palette-bit-depth", "bits-per-sample"};
  if (own.count(name) == 0) vips_image_set(static_cast<VipsImage*>(to), name, value);
  return nullptr;
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

// Shrinks `image` by `scale` (below 1) for a thumbnail. A transparency plane
// weighs the colours while they are resampled, so that transparent pixels
// lend none of theirs to their neighbours.
VipsImage* Shrunk(VipsImage* image, int16 mode, double scale) {
  VipsImage* out = nullptr;
  if (image->Bands == host::ColourPlanes(mode)) {
    if (vips_resize(image, &out, scale, nullptr) != 0) return nullptr;
    return out;
  }
  VipsImage *weighed = nullptr, *resized = nullptr, *unweighed = nullptr;
  if (vips_premultiply(image, &weighed, nullptr) == 0 && vips_resize(weighed, &resized, scale, nullptr) == 0 &&
      vips_unpremultiply(resized, &unweighed, nullptr) == 0)
    vips_cast_uchar(unweighed, &out, nullptr);
  for (VipsImage* step : {weighed, resized, unweighed})
    if (step != nullptr) g_object_unref(step);
  return out;
}

// Opens the image at `path` to be read once from the top, and tells its
// mode; answers "" or the reason the filter cannot take it.
std::string OpenImage(const std::string& path, std::shared_ptr<void>& keep, int16& mode) {
  if (!JpegOrPng(path)) KnowEveryFormat();
  VipsImage* image =
      vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", g_failOn, nullptr);
  if (image == nullptr) return VipsReason("not an image libvips can read");
  keep = Keep(image);
  std::string why;
  mode = ModeOf(image, why);
  return why;
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
    const Fit box = (*fit)(image->Xsize, image->Ysize, mode);
    double scale = 1;
    if (box.width > 0) scale = std::min(scale, double(box.width) / image->Xsize);
    if (box.height > 0) scale = std::min(scale, double(box.height) / image->Ysize);
    if (scale < 1) {
      pixelsFrom = Shrunk(image, mode, scale);
      if (pixelsFrom == nullptr) return VipsReason("cannot shrink the image");
      keepShrunk = Keep(pixelsFrom);
    }
  }
  if (pixelsFrom->Xsize > 32767 || pixelsFrom->Ysize > 32767)
    return std::to_string(pixelsFrom->Xsize) + " x " + std::to_string(pixelsFrom->Ysize) +
           " pixels; held whole, a picture takes at most 32767 a side (the classic drive takes any size)";
  runner::Image pixels{int16(pixelsFrom->Xsize), int16(pixelsFrom->Ysize), int16(pixelsFrom->Bands),
                       host::SampleBytes(mode)};
  if (vips_sink_disc(pixelsFrom, CopyRows, &pixels) != 0) return DecodeFailure("cannot decode the pixels");
  FileToHost(pixels, mode);
  picture.pixels = std::move(pixels);
  picture.imageMode = mode;
  picture.file = keep;
  return "";
}

// The "png-comment-N-KEY" strings of an image, as libvips' PNG writer reads
// them: KEY up to its first space, and a field it cannot read fails the file.
struct PngComments {
  std::vector<PngText>* comments;
  std::string why;
};

void* AddPngComment(VipsImage* image, const char* name, GValue* /*value*/, void* data) {
  auto* gathered = static_cast<PngComments*>(data);
  if (!vips_isprefix("png-comment-", name)) return nullptr;
  const char* text = nullptr;
  int index = 0;
  char key[81] = {};
  if (std::strlen(name) > 256 || std::sscanf(name, "png-comment-%d-%80s", &index, key) != 2) {
    gathered->why = std::string("bad PNG comment name \"") + name + "\"";
    return image;
  }
  if (vips_image_get_string(image, name, &text) != 0) {
    gathered->why = VipsReason("a PNG comment is not text");
    return image;
  }
  gathered->comments->push_back({key, text});
  return nullptr;
}

std::string Blob(VipsImage* image, const char* name) {
  const void* data = nullptr;
  std::size_t length = 0;
  if (vips_image_get_typeof(image, name) == 0 || vips_image_get_blob(image, name, &data, &length) != 0) {
    vips_error_clear();
    return "";
  }
  return std::string(static_cast<const char*>(data), length);
}

// Pixels per metre from libvips' pixels per millimetre, rounded as libvips
// rounds them; 0 (no resolution written) when out of range.
uint32_t PerMetre(double perMillimetre) {
  const double v = std::round(perMillimetre * 1000);
  return v > 0 && v <= 2147483647.0 ? uint32_t(v) : 0;
}

// What libvips' PNG writer takes from an image beside its pixels (profile,
// resolution, EXIF, XMP, comments), for our writer to write the same way.
// Answers "" or the reason a field cannot be written.
std::string DescribePng(VipsImage* original, PngHeader& header) {
  header.xPixelsPerMetre = PerMetre(original != nullptr ? original->Xres : 1.0);
  header.yPixelsPerMetre = PerMetre(original != nullptr ? original->Yres : 1.0);
  if (original == nullptr) return "";
  header.iccProfile = Blob(original, VIPS_META_ICC_NAME);
  header.exif = Blob(original, VIPS_META_EXIF_NAME);
  const std::string xmp = Blob(original, VIPS_META_XMP_NAME);
  header.xmp = xmp.substr(0, std::strlen(xmp.c_str()));
  PngComments gathered{&header.comments, ""};
  vips_image_map(original, AddPngComment, &gathered);
  return gathered.why;
}

// The header of a PNG written by the writer that compresses on every core,
// at the level asked for (libvips' default, 6, when none) with adaptive row
// filters. Answers "" or why it cannot be written.
std::string PngHeaderOf(VipsImage* original, int width, int height, int planes, int bits, const SaveOptions& options,
                        PngHeader& header) {
  const std::string& c = options.compression;
  if (!c.empty() && !(c.size() == 1 && c[0] >= '0' && c[0] <= '9'))
    return "PNG compression \"" + c + "\" is not a level from 0 to 9";
  header.width = width;
  header.height = height;
  header.channels = planes;
  header.bitDepth = bits;
  header.level = c.empty() ? 6 : c[0] - '0';
  return DescribePng(original, header);
}

// What libvips' TIFF writer takes from an image beside its pixels, for our
// deflate writer to write the same: resolution (per centimetre unless the
// image came with inches), orientation, profile, XMP, IPTC, Photoshop data
// and description. The rest of `header` describes the pixels.
void DescribeTiff(VipsImage* original, TiffHeader& header) {
  const char* unit = nullptr;
  header.inches = original != nullptr && vips_image_get_typeof(original, "resolution-unit") != 0 &&
                  vips_image_get_string(original, "resolution-unit", &unit) == 0 && vips_isprefix("in", unit);
  const double perMillimetre = header.inches ? 25.4 : 10;
  header.xResolution = (original != nullptr ? original->Xres : 1.0) * perMillimetre;
  header.yResolution = (original != nullptr ? original->Yres : 1.0) * perMillimetre;
  if (original == nullptr) return;
  int orientation = 1;
  if (vips_image_get_typeof(original, VIPS_META_ORIENTATION) != 0 &&
      vips_image_get_int(original, VIPS_META_ORIENTATION, &orientation) == 0 && orientation >= 1 && orientation <= 8)
    header.orientation = orientation;
  header.iccProfile = Blob(original, VIPS_META_ICC_NAME);
  header.xmp = Blob(original, VIPS_META_XMP_NAME);
  header.iptc = Blob(original, VIPS_META_IPTC_NAME);
  header.photoshop = Blob(original, VIPS_META_PHOTOSHOP_NAME);
  const char* description = nullptr;
  if (vips_image_get_typeof(original, VIPS_META_IMAGEDESCRIPTION) != 0 &&
      vips_image_get_string(original, VIPS_META_IMAGEDESCRIPTION, &description) == 0)
    header.description = description;
  vips_error_clear();
}

TiffHeader TiffHeaderOf(VipsImage* original, int width, int height, int planes, int16 imageMode, int bits) {
  TiffHeader header;
  header.width = width;
  header.height = height;
  header.samples = planes;
  header.cmyk = host::CmykMode(imageMode);
  header.bitDepth = bits;
  DescribeTiff(original, header);
  return header;
}

// An EXIF block of one directory, as libvips makes one for a picture that
// came without: orientation and resolution (pixels per inch unless the
// picture came with centimetres), each rational in thousandths.
std::string MadeExif(VipsImage* original) {
  int orientation = 1;
  if (original != nullptr && vips_image_get_typeof(original, VIPS_META_ORIENTATION) != 0 &&
      (vips_image_get_int(original, VIPS_META_ORIENTATION, &orientation) != 0 || orientation < 1 || orientation > 8))
    orientation = 1;
  const char* unit = nullptr;
  const bool cm = original != nullptr && vips_image_get_typeof(original, "resolution-unit") != 0 &&
                  vips_image_get_string(original, "resolution-unit", &unit) == 0 && vips_isprefix("cm", unit);
  vips_error_clear();
  const double perMillimetre[2] = {original != nullptr ? original->Xres : 1.0, original != nullptr ? original->Yres : 1.0};
  std::string e("Exif\0\0II*\0\x08\0\0\0", 14);
  auto put = [&e](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) e.push_back(char(v >> (8 * i)));
  };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    put(tag, 2), put(type, 2), put(1, 4), put(value, 4);
  };
  constexpr uint32_t kRationals = 8 + 2 + 4 * 12 + 4;  // past the directory
  put(4, 2);
  entry(0x0112, 3, uint32_t(orientation));
  entry(0x011A, 5, kRationals);
  entry(0x011B, 5, kRationals + 8);
  entry(0x0128, 3, cm ? 3 : 2);
  put(0, 4);
  for (double v : perMillimetre) {
    const double perUnit = std::round(v * (cm ? 10 : 25.4) * 1000);
    put(uint32_t(std::clamp(perUnit, 1.0, 4294967295.0)), 4);
    put(1000, 4);
  }
  return e;
}

// What libvips' jpegsave writes: at the quality asked for (75 when none),
// chroma halved below quality 90 unless asked otherwise, with the picture's
// EXIF (or one made for it), XMP, IPTC and profile.
JpegHeader JpegHeaderOf(VipsImage* original, int width, int height, int planes, const SaveOptions& options) {
  JpegHeader header;
  header.width = width;
  header.height = height;
  header.channels = planes;
  header.quality = options.quality >= 0 ? options.quality : kJpegDefaultQuality;
  header.subsampled = options.subsample >= 0 ? options.subsample == 1 : JpegSubsampledAt(header.quality);
  header.exif = original != nullptr ? Blob(original, VIPS_META_EXIF_NAME) : "";
  if (header.exif.empty()) header.exif = MadeExif(original);
  if (original != nullptr) {
    header.xmp = Blob(original, VIPS_META_XMP_NAME);
    header.iptc = Blob(original, VIPS_META_IPTC_NAME);
    header.iccProfile = Blob(original, VIPS_META_ICC_NAME);
  }
  return header;
}

// Deflate TIFF goes through our writer; other compressions through libvips.
bool IsDeflateTiff(const char* saver, const SaveOptions& options) {
  return (SaverIs(saver, "tiff") || SaverIs(saver, "Tiff")) && options.compression == "deflate";
}

// The JPEG format's largest side.
constexpr int kJpegSide = 65500;
// How far a decoder may run ahead of the reading, and an encoder's line of
// rows waiting, in bytes: a few bands.
constexpr std::size_t kAhead = std::size_t(4) << 20;
// Strips of about this many bytes are decoded at a time.
constexpr std::size_t kStripBytes = std::size_t(1) << 20;


// Rows of a picture, in a line between two threads.
struct Chunk {
  int first = 0;  // the picture's row
  int rows = 0;
  std::unique_ptr<uint8[]> bytes;
  std::size_t size = 0;
  std::size_t served = 0;  // pixels asked for by an encoder
};

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

// PNG or deflate TIFF through a writer of ours that compresses on every
// core, row by row.
template <class Stream>
class StreamedRows : public RowWriter {
 public:
  StreamedRows(const PictureInfo& info, int bits)
      : info_(info), bits_(bits), hostRowBytes_(std::size_t(info.width) * info.planes * std::size_t(host::SampleBytes(info.imageMode))),
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

 private:
  PictureInfo info_;
  int bits_;
  std::size_t hostRowBytes_, fileRowBytes_;
  bool convert_;
  std::vector<uint8> converted_;
  Stream stream_;
};

}  // namespace

void KnowEveryFormat() { LoadModules(); }

void StartPictures(const char* programPath, bool acceptDamaged) {
  g_failOn = acceptDamaged ? VIPS_FAIL_ON_NONE : VIPS_FAIL_ON_ERROR;
  g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE), KeepWarning, nullptr);
#ifdef __GLIBC__
  // Strips and bands of a few megabytes each are allocated and freed over
  // and over while a picture streams. By default the C library maps blocks
  // that large afresh each time and gives them back at once, so every strip
  // faults its pages in again (a tenth of a second on a 12-megapixel 16-bit
  // TIFF). Kept in the heap, freed blocks are reused as they are.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
  // libvips loads its modules from below its prefix, which VIPSHOME moves
  // (and which libvips itself puts there, for the programs it starts):
  // pointed at a folder without them for the start, it loads none. A
  // VIPSHOME naming another prefix is left to libvips. The environment is
  // put back as it was, and the messages' folder, taken from the prefix
  // too, with it.
  FindVipsFolders();
  const char* home = g_getenv("VIPSHOME");
  const std::string kept = home != nullptr ? home : "";
  g_modulesDeferred = !g_moduleFolder.empty() && !g_prefix.empty() && (home == nullptr || kept == g_prefix);
  if (g_modulesDeferred) g_setenv("VIPSHOME", "/nonexistent/vantrel-modules-later", TRUE);
  const int started = VIPS_INIT(programPath);
  if (g_modulesDeferred) {
    if (kept.empty())
      g_unsetenv("VIPSHOME");
    else
      g_setenv("VIPSHOME", kept.c_str(), TRUE);
    bindtextdomain(("vips" + std::to_string(VIPS_MAJOR_VERSION) + "." + std::to_string(VIPS_MINOR_VERSION)).c_str(),
                   (g_prefix + "/share/locale").c_str());
  }
  if (started != 0) vips_error_exit("cannot start libvips");
  // Pixels are cached by the program itself; libvips' operation cache would
  // only hold on to memory.
  vips_cache_set_max(0);
}

void StopPictures() { vips_shutdown(); }

std::string TakeWarnings() {
  std::lock_guard<std::mutex> hold(g_warnings.lock);
  std::string text = g_warnings.first;
  if (g_warnings.more > 0) text += " (and " + std::to_string(g_warnings.more) + " more)";
  g_warnings.first.clear();
  g_warnings.more = 0;
  return text;
}

std::string ReadPicture(const std::string& path, Picture& picture) { return ReadImage(path, nullptr, picture); }

std::string ReadThumbnail(const std::string& path, const FitFor& fit, Picture& picture) {
  return ReadImage(path, &fit, picture);
}

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
  if (g_failOn != VIPS_FAIL_ON_NONE && vips_image_get_typeof(image, "vips-loader") != 0 &&
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
    std::string why = tiff->Open(path, TiffHeaderOf(original, info.width, info.height, info.planes, info.imageMode, bits),
                                 TiffTuning{options.threads});
    writer = std::move(tiff);
    return why;
  }
  if (saver != nullptr && IsJpegSaver(saver)) {
    auto jpeg = std::make_unique<StreamedRows<JpegStream>>(info, bits);
    std::string why = jpeg->Open(path, JpegHeaderOf(original, info.width, info.height, info.planes, JpegOptions(options, original)),
                                 JpegTuning{options.threads, 0});
    writer = std::move(jpeg);
    return why;
  }
  if (saver != nullptr && IsTiffSaver(saver)) {
    const VipsInterpretation type = host::CmykMode(info.imageMode) ? VIPS_INTERPRETATION_CMYK
                                    : bits == 16             ? VIPS_INTERPRETATION_RGB16
                                                             : VIPS_INTERPRETATION_sRGB;
    auto encoded = std::make_unique<EncodedRows>(info, bits);
    std::string why = encoded->Start(path + OptionString(saver, options), original, type);
    writer = std::move(encoded);
    return why;
  }
  writer = GatheredRows(info, path, options);
  return "";
}

std::string CheckWritable(const PictureInfo& picture, const std::string& path, const SaveOptions& options) {
  const bool large = picture.width > 32767 || picture.height > 32767;
  const Kind kind{host::CmykMode(picture.imageMode), picture.planes > host::ColourPlanes(picture.imageMode),
                  OutputBits(picture.imageMode, options) == 16};
  if (IsRaw(path)) return large ? "raw images hold at most 32767 pixels a side; write " + Holding(kind, true) : "";
  const char* saver = SaverFor(path);
  const std::string ext = Extension(path);
  if (saver == nullptr) return "no image format for the extension \"" + ext + "\"; vantrel writes " + Holding(Kind{}, false);
  if (large && !IsPngSaver(saver) && !IsJpegSaver(saver) && !IsTiffSaver(saver))
    return "pictures beyond 32767 pixels a side are written as " + Holding(kind, true);
  if (IsJpegSaver(saver) && (picture.width > kJpegSide || picture.height > kJpegSide))
    return ".jpg files hold at most " + std::to_string(kJpegSide) + " pixels a side";
  if (const char* lacking = Lacks(saver, kind)) {
    std::string why = ext + " files cannot hold " + lacking + "; write " + Holding(kind, large);
    // The same picture at 8 bits may fit the format after all.
    if (kind.deep && Lacks(saver, Kind{kind.cmyk, kind.alpha, false}) == nullptr) why += ", or add --depth 8";
    return why;
  }
  const std::string& c = options.compression;
  if (!c.empty() && IsPngSaver(saver) &&
      !(c.size() == 1 && c[0] >= '0' && c[0] <= '9'))
    return "PNG compression \"" + c + "\" is not a level from 0 to 9";
  if (!c.empty() && (SaverIs(saver, "tiff") || SaverIs(saver, "Tiff")) &&
      std::find(std::begin(kTiffCompressions), std::end(kTiffCompressions), c) == std::end(kTiffCompressions)) {
    std::string methods;
    for (const char* m : kTiffCompressions) methods += std::string(methods.empty() ? "" : ", ") + m;
    return "TIFF compression \"" + c + "\" is not one of " + methods;
  }
  return "";
}

std::string WritePicture(const Picture& picture, const runner::Image& pixels, const std::string& path,
                         const SaveOptions& options) {
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
    return WritePng(path, header, stored.pixels.data(), stride, PngTuning{options.threads, 0});
  }
  if (IsDeflateTiff(saver, options))
    return WriteTiff(path, TiffHeaderOf(original, stored.width, stored.height, stored.planes, picture.imageMode, bits),
                     stored.pixels.data(), stride, TiffTuning{options.threads});
  if (IsJpegSaver(saver))
    return WriteJpeg(path, JpegHeaderOf(original, stored.width, stored.height, stored.planes, JpegOptions(options, original)),
                     stored.pixels.data(), stride, JpegTuning{options.threads, 0});
  VipsImage* memory = vips_image_new_from_memory(stored.pixels.data(), stored.pixels.size(), stored.width,
                                                 stored.height, stored.planes,
                                                 bits == 16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
  if (memory == nullptr) return VipsReason("cannot wrap the pixels");
  auto keepMemory = Keep(memory);
  const VipsInterpretation type = host::CmykMode(picture.imageMode) ? VIPS_INTERPRETATION_CMYK
                                  : bits == 16                ? VIPS_INTERPRETATION_RGB16
                                                              : VIPS_INTERPRETATION_sRGB;
  VipsImage* out = nullptr;
  if (vips_copy(memory, &out, "interpretation", type, "xres", original ? original->Xres : 1.0, "yres",
                original ? original->Yres : 1.0, nullptr) != 0)
    return VipsReason("cannot prepare the output");
  auto keepOut = Keep(out);
  if (original != nullptr) vips_image_map(original, CopyField, out);
  const std::string target = path + OptionString(saver, options);
  if (vips_image_write_to_file(out, target.c_str(), nullptr) != 0) return VipsReason("cannot write the file");
  return "";
}

}  // namespace vantrel::pictures
