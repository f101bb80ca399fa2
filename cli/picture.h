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
  int depth = 0;            // bits per sample written: 8 or 16; 0: the input's
};

// An image read from a file. The pixels are interleaved planes, the colour
// planes first (R G B or C M Y K) and an optional transparency plane after
// them, in the host's convention: 8-bit samples, or for a 16-bit file 16-bit
// samples on the hosts' scale of 0 to 32768 (the files' 0 to 65535 halved,
// rounded to the nearest); a CMYK plane holds full scale (255 or 32768) for
// no ink and 0 for full ink, the other way round from the files.
struct Picture {
  runner::Image pixels;
  int16 imageMode = 0;         // RGB or CMYK, or their 16-bit modes RGB48 and CMYK64
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

// Turns 8-bit CMYK planes between the files' convention (0 = no ink) and the
// host's (255 = no ink); leaves RGB images and transparency planes alone.
void FlipInk(runner::Image& pixels, int16 imageMode);

// Samples as a file holds them (8-bit, or 16-bit from 0 to 65535; CMYK 0 = no
// ink) turned into the host's convention, in place: CMYK planes flipped, and
// 16-bit samples halved to the hosts' 0 to 32768, rounded to the nearest.
void FileToHost(runner::Image& pixels, int16 imageMode);

// The host's pixels as a file of `bits` bits per sample holds them (0: the
// pixels' own depth). 16-bit samples are doubled back to 0 to 65535, rounded
// to the nearest, a sample above the hosts' full scale held at 65535; between
// depths a sample v becomes v * 257 (8 to 16 bits) or v / 257 rounded.
runner::Image HostToFile(const runner::Image& pixels, int16 imageMode, int bits = 0);

// Whether `imageMode` is one of the 16-bit modes.
inline bool DeepMode(int16 imageMode) {
  return imageMode == plugInModeRGB48 || imageMode == plugInModeCMYK64;
}
// Whether `imageMode` is CMYK at either depth.
inline bool CmykMode(int16 imageMode) {
  return imageMode == plugInModeCMYKColor || imageMode == plugInModeCMYK64;
}
// The colour planes of an image mode: 3 for RGB, 4 for CMYK, at either depth.
inline int16 ColourPlanes(int16 imageMode) { return CmykMode(imageMode) ? 4 : 3; }
// The bits per sample a picture of `imageMode` is written with under `options`.
inline int OutputBits(int16 imageMode, const SaveOptions& options) {
  return options.depth != 0 ? options.depth : DeepMode(imageMode) ? 16 : 8;
}

// The lower-case extension of `path` with its dot ("" when there is none).
std::string Extension(const std::string& path);

}  // namespace vantrel::cli
