// What libvips' savers take from a picture beside its pixels (profile,
// resolution, orientation, EXIF, XMP, IPTC, comments, the JPEG input's own
// quality), translated for our writers, which write it as those savers do.
#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>
#include <vips/vips.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/image_modes.h"
#include "pictures/jpeg_settings.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// The "png-comment-N-KEY" strings of an image, as libvips' PNG writer reads
// them: KEY up to its first space. A key that libpng refuses (an empty one,
// say) leaves its comment out of the file, not the file unwritten.
void* AddPngComment(VipsImage* image, const char* name, GValue* /*value*/, void* data) {
  auto* comments = static_cast<std::vector<PngText>*>(data);
  if (!vips_isprefix("png-comment-", name)) return nullptr;
  const char* text = nullptr;
  if (vips_image_get_string(image, name, &text) != 0) {
    vips_error_clear();  // not text: no comment of a PNG file
    return nullptr;
  }
  int index = 0, keyAt = 0;
  std::string key;
  if (std::sscanf(name, "png-comment-%d-%n", &index, &keyAt) == 1 && keyAt > 0) key = name + keyAt;
  key = key.substr(0, key.find(' '));
  comments->push_back({key, text});
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
void DescribePng(VipsImage* original, PngHeader& header) {
  header.xPixelsPerMetre = PerMetre(original != nullptr ? original->Xres : 1.0);
  header.yPixelsPerMetre = PerMetre(original != nullptr ? original->Yres : 1.0);
  if (original == nullptr) return;
  header.iccProfile = Blob(original, VIPS_META_ICC_NAME);
  header.exif = ExifOf(original, false);
  const std::string xmp = Blob(original, VIPS_META_XMP_NAME);
  header.xmp = xmp.substr(0, std::strlen(xmp.c_str()));
  vips_image_map(original, AddPngComment, &header.comments);
}

}  // namespace

// The header of a PNG written by the writer that compresses on every core,
// at the level asked for (libvips' default, 6, when none) with adaptive row
// filters.
std::string PngHeaderOf(VipsImage* original, int width, int height, int planes, int bits, const SaveOptions& options,
                        PngHeader& header) {
  const std::string& c = options.compression;
  if (std::string why = CheckPngLevel(c); !why.empty()) return why;
  header.width = width;
  header.height = height;
  header.channels = planes;
  header.bitDepth = bits;
  header.level = c.empty() ? 6 : c[0] - '0';
  DescribePng(original, header);
  return "";
}

namespace {

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

}  // namespace

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

namespace {

// Sets IFD0's `tag` of `ed` (made when missing) by `set` on its data.
template <class Set>
void SetIfd0(ExifData* ed, ExifTag tag, const Set& set) {
  ExifContent* ifd0 = ed->ifd[EXIF_IFD_0];
  ExifEntry* entry = exif_content_get_entry(ifd0, tag);
  if (entry == nullptr) {
    entry = exif_entry_new();
    if (entry == nullptr) return;
    exif_content_add_entry(ifd0, entry);
    exif_entry_initialize(entry, tag);
    exif_entry_unref(entry);  // held by the directory now
  }
  if (entry->data != nullptr && entry->components == 1) set(entry->data, exif_data_get_byte_order(ed));
}

// A resolution in thousandths, as libvips writes it.
ExifRational Rational(double v) { return {ExifLong(std::lround(std::clamp(v, 0.0, 4294967.0) * 1000)), 1000}; }

}  // namespace

std::string ExifOf(VipsImage* original, bool makeOne) {
  const std::string came = original != nullptr ? Blob(original, VIPS_META_EXIF_NAME) : "";
  if (came.empty() && !makeOne) return "";
  ExifData* ed = exif_data_new();
  if (ed == nullptr) return came;
  if (!came.empty()) {
    // Read as libvips reads it: the fields the standard asks for are not
    // added, the block is taken as it is.
    exif_data_unset_option(ed, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    const std::string framed = came.compare(0, 6, std::string("Exif\0\0", 6)) == 0 ? came : std::string("Exif\0\0", 6) + came;
    exif_data_load_data(ed, reinterpret_cast<const unsigned char*>(framed.data()), unsigned(framed.size()));
    if (ed->ifd[EXIF_IFD_0] == nullptr || ed->ifd[EXIF_IFD_0]->count == 0) {
      exif_data_unref(ed);
      return came;  // nothing libexif can read: kept as it came
    }
  } else {
    // A new block with the fields the standard asks for, as libvips makes one.
    exif_data_set_data_type(ed, EXIF_DATA_TYPE_COMPRESSED);
    exif_data_set_byte_order(ed, EXIF_BYTE_ORDER_INTEL);
    exif_data_fix(ed);
  }
  int orientation = 1;
  if (original != nullptr && vips_image_get_typeof(original, VIPS_META_ORIENTATION) != 0 &&
      (vips_image_get_int(original, VIPS_META_ORIENTATION, &orientation) != 0 || orientation < 1 || orientation > 8))
    orientation = 1;
  const char* unit = nullptr;
  const bool cm = original != nullptr && vips_image_get_typeof(original, "resolution-unit") != 0 &&
                  vips_image_get_string(original, "resolution-unit", &unit) == 0 && vips_isprefix("cm", unit);
  vips_error_clear();
  const double perUnit = cm ? 10 : 25.4;
  const double x = (original != nullptr ? original->Xres : 1.0) * perUnit;
  const double y = (original != nullptr ? original->Yres : 1.0) * perUnit;
  SetIfd0(ed, EXIF_TAG_ORIENTATION, [&](unsigned char* d, ExifByteOrder o) { exif_set_short(d, o, ExifShort(orientation)); });
  SetIfd0(ed, EXIF_TAG_X_RESOLUTION, [&](unsigned char* d, ExifByteOrder o) { exif_set_rational(d, o, Rational(x)); });
  SetIfd0(ed, EXIF_TAG_Y_RESOLUTION, [&](unsigned char* d, ExifByteOrder o) { exif_set_rational(d, o, Rational(y)); });
  SetIfd0(ed, EXIF_TAG_RESOLUTION_UNIT, [&](unsigned char* d, ExifByteOrder o) { exif_set_short(d, o, cm ? 3 : 2); });
  unsigned char* bytes = nullptr;
  unsigned int size = 0;
  exif_data_save_data(ed, &bytes, &size);
  exif_data_unref(ed);
  std::string exif = bytes != nullptr && size > 0 ? std::string(reinterpret_cast<char*>(bytes), size) : came;
  std::free(bytes);
  return exif;
}

// What libvips' jpegsave writes: at the quality asked for (75 when none),
// chroma halved below quality 90 unless asked otherwise, with the picture's
// EXIF (or one made for it), XMP, IPTC and profile.
JpegHeader JpegHeaderOf(VipsImage* original, int width, int height, int planes, const SaveOptions& options) {
  JpegHeader header;
  header.width = width;
  header.height = height;
  header.channels = planes;
  header.quality = options.quality >= 0 ? options.quality : kLibvipsJpegQuality;
  header.subsampled = options.subsample >= 0 ? options.subsample == 1 : JpegSubsampledAt(header.quality);
  header.exif = ExifOf(original, true);
  if (original != nullptr) {
    header.xmp = Blob(original, VIPS_META_XMP_NAME);
    header.iptc = Blob(original, VIPS_META_IPTC_NAME);
    header.iccProfile = Blob(original, VIPS_META_ICC_NAME);
  }
  return header;
}

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

}  // namespace vantrel::pictures
