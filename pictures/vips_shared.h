// What the files of the libvips build share among themselves (not beyond
// pictures/): libvips' messages, the formats it reads and writes, the
// metadata our writers take from it, and the line of rows between a thread
// of libvips and ours.
#pragma once

#include <vips/vips.h>

#include <cstddef>
#include <memory>
#include <string>

#include "pictures/jpeg_stream.h"
#include "pictures/picture.h"
#include "pictures/png_stream.h"
#include "pictures/tiff_stream.h"

namespace vantrel::pictures {

// ---- libvips' messages (vips_messages.cpp).

// Keeps libvips' warnings to be told against their file, and sets how the
// loaders meet damage: they fail at its first sign unless `acceptDamaged`.
void KeepMessages(bool acceptDamaged);
// How the loaders meet damage: libvips' fail_on level.
VipsFailOn FailOn();
// The first line of libvips' error buffer, which is then cleared.
std::string VipsReason(const char* fallback);
// A decoder's `reason` for stopping, as the user reads it.
std::string Damaged(const std::string& reason);
// libvips' decoder failed: its reason, with the first warning the decoder
// gave (often the actual damage, "not enough data"); or a layout it does not
// read, which is no damage.
std::string DecodeFailure(const char* fallback);
// libvips cannot open a file: its reason, and with damage accepted, that
// accepting it cannot help.
std::string OpenFailure();

// An image of libvips held for as long as the pointer lives.
inline std::shared_ptr<void> Keep(VipsImage* image) {
  return std::shared_ptr<void>(image, [](void* p) { g_object_unref(p); });
}

// ---- What libvips reads and writes (vips_formats.cpp).

// The image mode of `image` if the filter takes it, or 0 with `why` set.
int16 ModeOf(VipsImage* image, std::string& why);
bool IsRaw(const std::string& path);
// The saver libvips picks for `path`, or nullptr.
const char* SaverFor(const std::string& path);
bool IsPngSaver(const char* saver);
bool IsJpegSaver(const char* saver);
bool IsTiffSaver(const char* saver);
// Deflate TIFF goes through our writer; other compressions through libvips.
bool IsDeflateTiff(const char* saver, const SaveOptions& options);
// The saver's options as libvips reads them after a file name.
std::string OptionString(const char* saver, const SaveOptions& options);

// ---- Reading (vips_read.cpp, vips_thumbnail.cpp).

// Opens the image at `path` to be read once from the top, and tells its
// mode; answers "" or the reason the filter cannot take it.
std::string OpenImage(const std::string& path, std::shared_ptr<void>& keep, int16& mode);
// `image` shrunk, keeping its proportions, to the size `fit` answers into
// `shrunk`; `shrunk` is left empty when the image is that small already.
// Answers "" or why it cannot be shrunk.
std::string ShrinkToFit(VipsImage* image, int16 mode, const FitFor& fit, std::shared_ptr<void>& shrunk);

// ---- Writing (vips_metadata.cpp, vips_encoded_rows.cpp).

// The EXIF block a picture is written with, as libvips' savers write it: the
// picture's own (read by libexif as libvips reads it), or where it came
// without and `makeOne`, a new one with the fields the standard asks for;
// either with its orientation and resolution set to the picture's. "" for
// a picture without one when not `makeOne`.
std::string ExifOf(VipsImage* original, bool makeOne);
// Copies the metadata of `from` onto `to` (a vips_image_map callback).
void* CopyField(VipsImage* from, const char* name, GValue* value, void* to);
// The headers our writers write a picture with, from its original (or
// nullptr) as libvips' savers would write it. PngHeaderOf answers "" or
// why the picture cannot be written.
std::string PngHeaderOf(VipsImage* original, int width, int height, int planes, int bits, const SaveOptions& options,
                        PngHeader& header);
TiffHeader TiffHeaderOf(VipsImage* original, int width, int height, int planes, int16 imageMode, int bits);
JpegHeader JpegHeaderOf(VipsImage* original, int width, int height, int planes, const SaveOptions& options);
// The options a JPEG is written with: a JPEG input's own quality and chroma
// subsampling unless the options say otherwise, else kDefaultJpegQuality.
SaveOptions JpegOptions(const SaveOptions& options, VipsImage* original);

// A libvips saver writing `target` (the path and its options) on threads
// of its own from rows of a picture like `info` in the host's convention,
// at `bits` bits, as `type`, with the metadata of `original`.
std::string EncodeRows(const PictureInfo& info, int bits, const std::string& target, VipsImage* original,
                       VipsInterpretation type, std::unique_ptr<RowWriter>& writer);

// ---- The line of rows between a thread of libvips and ours.

// How far a decoder may run ahead of the reading, and an encoder's line of
// rows waiting, in bytes: a few bands.
constexpr std::size_t kAhead = std::size_t(4) << 20;

// Rows of a picture, in a line between two threads.
struct Chunk {
  int first = 0;  // the picture's row
  int rows = 0;
  std::unique_ptr<uint8[]> bytes;
  std::size_t size = 0;
  std::size_t served = 0;  // pixels asked for by an encoder
};

}  // namespace vantrel::pictures
