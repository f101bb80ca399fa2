// The plain raw image format of ours that both builds read and write: a text
// header, then the interleaved 8-bit pixels as the files of the colour mode
// store them (CMYK 0 = no ink). It carries CMYK where the Windows tool has no
// TIFF, and compares pixels between builds exactly.
//
//   VANTREL-RAW 1\n
//   <RGB|CMYK> <width> <height> <planes>\n
//   width * height * planes bytes
#pragma once

#include <string>

#include "cli/picture.h"

namespace vantrel::cli {

inline constexpr const char* kRawExtension = ".vraw";

std::string ReadRawPicture(const std::string& path, Picture& picture);
std::string WriteRawPicture(const runner::Image& pixels, int16 imageMode, const std::string& path);

}  // namespace vantrel::cli
