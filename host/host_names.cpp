// Host name table and platform code test.
#include "host/host_names.h"

#include "host/text_ops.h"

namespace vantrel::host {

const HostNameEntry HostNameTable[kHostNameCount] = {
    {"CorelDrw", FourCC("Cdrw")},
    {"PhotoPnt", FourCC("Mprn")},
    {"DeBabelizer Pro", FourCC("BABL")},
    {"Adobe After Effects", FourCC("FXTC")},
    {"Adobe Illustrator", FourCC("ART5")},
    {"PM5", FourCC("ALD5")},
    {"PM6", FourCC("ALD6")},
    {"PM65", FourCC("AD65")},
    {"PhotoDeluxe", FourCC("PHUT")},
    {"Photoshp", FourCC("8BIM")},
    {"Adobe Premiere", FourCC("PrMr")},
};

uint32 SignatureForHostName(const char* name) {
  // Position 0 from a search that stops at the name's zero byte means that the
  // whole name matches the row's name, or a leading part of it.
  constexpr uint32 kStopAtZeroByte = 255;
  for (const HostNameEntry& row : HostNameTable) {
    if (FindText(name, row.name, true, kStopAtZeroByte) == 0) return row.signature;
  }
  return 0;
}

bool IsKnownPlatformCode(uint32 packedVersion) {
  const uint8 platformCode = static_cast<uint8>(packedVersion & 0xFF);
  return platformCode >= 10 && platformCode <= 12;
}

}  // namespace vantrel::host
