// The plain raw image format of ours that both builds read and write: a text
// header, then the interleaved pixels as the files of the colour mode store
// them (CMYK 0 = no ink). It carries CMYK and 16-bit images where the Windows
// tool has no TIFF, and compares pixels between builds exactly.
//
//   VANTREL-RAW 1\n                          8 bits per sample
//   <RGB|CMYK> <width> <height> <planes>\n
//   width * height * planes bytes
//
//   VANTREL-RAW 2\n                          8 or 16 bits per sample
//   <RGB|CMYK> <width> <height> <planes> <8|16>\n
//   width * height * planes samples, 16-bit ones little-endian, 0 to 65535
//
// 8-bit images are written as version 1, which every reader of ours takes.
#pragma once

#include <string>

#include "pictures/picture.h"

namespace vantrel::pictures {

inline constexpr const char* kRawExtension = ".vraw";

std::string ReadRawPicture(const std::string& path, Picture& picture);
// Writes the host's `pixels` at `bits` bits per sample (0: their own depth).
std::string WriteRawPicture(const runner::Image& pixels, int16 imageMode, const std::string& path, int bits = 0);

}  // namespace vantrel::pictures
