#include "tests/shipped/pe_image.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vantrel::testing {
namespace {

// Every read goes through here; a position past the end throws, which the
// reader turns into an error message.
class Cursor {
 public:
  explicit Cursor(const Bytes& bytes) : bytes_(bytes) {}
  std::uint32_t U8(std::size_t at) const { return Check(at, 1), bytes_[at]; }
  std::uint32_t U16(std::size_t at) const { return Check(at, 2), bytes_[at] | bytes_[at + 1] << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::string CString(std::size_t at) const {
    std::string s;
    for (std::uint32_t c; (c = U8(at)) != 0; ++at) s += static_cast<char>(c);
    return s;
  }
  Bytes Slice(std::size_t at, std::size_t size) const {
    Check(at, size);
    return Bytes(bytes_.begin() + at, bytes_.begin() + at + size);
  }

 private:
  void Check(std::size_t at, std::size_t size) const {
    if (at > bytes_.size() || size > bytes_.size() - at) throw std::out_of_range("the file ends too early");
  }
  const Bytes& bytes_;
};

struct Section {
  std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class Reader {
 public:
  explicit Reader(const Bytes& bytes) : in_(bytes) {}

  void Read(PeImage& image) {
    if (in_.U16(0) != 0x5A4D) throw std::runtime_error("no MZ signature");
    const std::uint32_t pe = in_.U32(0x3C);
    if (in_.U32(pe) != 0x00004550) throw std::runtime_error("no PE signature");
    image.machine = static_cast<std::uint16_t>(in_.U16(pe + 4));
    const std::uint32_t sectionCount = in_.U16(pe + 6);
    const std::uint32_t optionalSize = in_.U16(pe + 20);
    image.characteristics = static_cast<std::uint16_t>(in_.U16(pe + 22));
    const std::size_t optional = pe + 24;
    image.optionalMagic = static_cast<std::uint16_t>(in_.U16(optional));
    std::size_t directories;
    if (image.optionalMagic == 0x10B)
      directories = optional + 96;
    else if (image.optionalMagic == 0x20B)
      directories = optional + 112;
    else
      throw std::runtime_error("unknown optional header");
    const std::uint32_t directoryCount = in_.U32(directories - 4);
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
      const std::size_t at = optional + optionalSize + i * 40;
      sections_.push_back({in_.U32(at + 12), in_.U32(at + 8), in_.U32(at + 20), in_.U32(at + 16)});
    }
    auto directory = [&](std::uint32_t index) {
      return index < directoryCount ? in_.U32(directories + index * 8) : 0u;
    };
    if (std::uint32_t rva = directory(0)) ReadExports(Offset(rva), image);
    if (std::uint32_t rva = directory(1)) ReadImports(Offset(rva), image);
    if (std::uint32_t rva = directory(2)) {
      resourceBase_ = Offset(rva);
      ReadResourceLevel(resourceBase_, 0, PeResource{}, image);
    }
  }

 private:
  std::size_t Offset(std::uint32_t rva) const {
    for (const Section& s : sections_) {
      if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) return s.rawOffset + (rva - s.virtualAddress);
    }
    throw std::runtime_error("an address lies in no section");
  }

  void ReadExports(std::size_t at, PeImage& image) {
    image.exportedFunctions = in_.U32(at + 20);
    const std::uint32_t names = in_.U32(at + 24);
    const std::size_t nameTable = Offset(in_.U32(at + 32));
    for (std::uint32_t i = 0; i < names; ++i) image.exportNames.push_back(in_.CString(Offset(in_.U32(nameTable + 4 * i))));
  }

  void ReadImports(std::size_t at, PeImage& image) {
    for (;; at += 20) {
      const std::uint32_t name = in_.U32(at + 12);
      if (name == 0) break;
      image.imports.push_back(in_.CString(Offset(name)));
    }
  }

  // A directory entry's name or id: a set high bit means an offset to a
  // length-prefixed UTF-16 name (read here as its low bytes).
  std::string EntryName(std::uint32_t word) const {
    if ((word & 0x80000000u) == 0) return ResourceId(word & 0xFFFF);
    const std::size_t at = resourceBase_ + (word & 0x7FFFFFFFu);
    std::string name;
    for (std::uint32_t i = 0, n = in_.U16(at); i < n; ++i) name += static_cast<char>(in_.U16(at + 2 + 2 * i));
    return name;
  }

  // Levels: 0 type, 1 name, 2 language, then the data entry.
  void ReadResourceLevel(std::size_t at, int level, PeResource path, PeImage& image) {
    if (level > 2) throw std::runtime_error("resource tree deeper than three levels");
    const std::uint32_t entries = in_.U16(at + 12) + in_.U16(at + 14);
    for (std::uint32_t i = 0; i < entries; ++i) {
      const std::size_t entry = at + 16 + 8 * i;
      const std::uint32_t name = in_.U32(entry);
      const std::uint32_t target = in_.U32(entry + 4);
      PeResource here = path;
      if (level == 0) here.type = EntryName(name);
      if (level == 1) here.name = EntryName(name);
      if (level == 2) here.language = static_cast<std::uint16_t>(name & 0xFFFF);
      if (target & 0x80000000u) {
        ReadResourceLevel(resourceBase_ + (target & 0x7FFFFFFFu), level + 1, here, image);
      } else {
        if (level != 2) throw std::runtime_error("resource data above the language level");
        const std::size_t data = resourceBase_ + target;
        here.data = in_.Slice(Offset(in_.U32(data)), in_.U32(data + 4));
        image.resources.push_back(std::move(here));
      }
    }
  }

  Cursor in_;
  std::vector<Section> sections_;
  std::size_t resourceBase_ = 0;
};

}  // namespace

std::string ResourceId(unsigned id) { return "#" + std::to_string(id); }

const PeResource* PeImage::Find(const std::string& type, const std::string& name) const {
  for (const PeResource& r : resources) {
    if (r.type == type && r.name == name) return &r;
  }
  return nullptr;
}

bool ReadPeImage(const std::string& path, PeImage& image, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  image = PeImage{};
  try {
    Reader(bytes).Read(image);
  } catch (const std::exception& e) {
    error = path + ": " + e.what();
    return false;
  }
  return true;
}

}  // namespace vantrel::testing
