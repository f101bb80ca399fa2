// Image files as the command-line host reads and writes them: the pixels in
// the form a host hands them to the filter, and what else the file carried.
// One implementation per build: libvips natively, stb (PNG) on Windows; both
// read and write the plain raw format of raw_picture.h.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "runner/host.h"

namespace vantrel::cli {

struct SaveOptions {
  int quality = -1;         // JPEG quality 1 to 100; -1: the format's default
  std::string compression;  // PNG: zlib level 0 to 9; TIFF: method name; "": default
};

// An image read from a file. The pixels are interleaved 8-bit planes, the
// colour planes first (R G B or C M Y K) and an optional transparency plane
// after them, in the host's convention: a CMYK plane holds 255 for no ink and
// 0 for full ink, the other way round from the files.
struct Picture {
  runner::Image pixels;
  int16 imageMode = 0;         // plugInModeRGBColor or plugInModeCMYKColor
  std::shared_ptr<void> file;  // the reader's own record of the file (profile, resolution, metadata)
};

// Starts and stops the image library; call once per process.
void StartPictures(const char* programPath);
void StopPictures();

// Each answers "" on success, else a one-line reason without the file name.

// Reads the image at `path`; the reason names what the filter cannot take.
std::string ReadPicture(const std::string& path, Picture& picture);

// The largest size a thumbnail may have, chosen from the image's stored size
// and mode; a side of 0 is not limited.
struct Fit {
  int width = 0;
  int height = 0;
};
using FitFor = std::function<Fit(int width, int height, int16 imageMode)>;

// Reads the image at `path` as ReadPicture does, shrunk, keeping its
// proportions, to the size that `fit` answers; an image already that small
// is read as it is, never enlarged. The thumbnails of a contact sheet; the
// libvips build only.
std::string ReadThumbnail(const std::string& path, const FitFor& fit, Picture& picture);

// Whether an image like `picture` can be written to `path` (its extension
// picks the format) with `options`, so that a doomed run fails before any
// filtering. Options that do not apply to the format are ignored.
std::string CheckWritable(const Picture& picture, const std::string& path, const SaveOptions& options);

// Writes `pixels` (host convention, same size and planes as the picture's)
// to `path` with the picture's profile, resolution and metadata.
std::string WritePicture(const Picture& picture, const runner::Image& pixels, const std::string& path,
                         const SaveOptions& options);

// Turns CMYK planes between the files' convention (0 = no ink) and the
// host's (255 = no ink); leaves RGB images and transparency planes alone.
void FlipInk(runner::Image& pixels, int16 imageMode);

// The colour planes of an image mode: 3 for RGB, 4 for CMYK.
inline int16 ColourPlanes(int16 imageMode) { return imageMode == plugInModeCMYKColor ? 4 : 3; }

// The lower-case extension of `path` with its dot ("" when there is none).
std::string Extension(const std::string& path);

}  // namespace vantrel::cli
