// Samples between the files' convention and the host's. Files store 8-bit
// samples, or 16-bit ones from 0 to 65535, and CMYK with 0 for no ink; hosts
// hand the filter 16-bit samples from 0 to 32768, and CMYK with full scale
// for no ink. Every reader turns what it decodes into the host's convention,
// every writer turns it back.
#pragma once

#include <cstddef>

#include "records/host_records.h"
#include "runner/image.h"

namespace vantrel::pictures {

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

// The same for `bytes` bytes of whole pixels of `planes` planes, at the
// sample size of `imageMode`: FileToHost in place or into `out`, HostToFile
// into `out`, which holds the samples at `bits` bits.
void FileToHost(uint8* samples, std::size_t bytes, int planes, int16 imageMode);
void FileToHost(const uint8* samples, uint8* out, std::size_t bytes, int planes, int16 imageMode);
void HostToFile(const uint8* samples, std::size_t bytes, int planes, int16 imageMode, int bits, uint8* out);

}  // namespace vantrel::pictures
