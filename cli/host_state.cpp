// Parameter block and descriptor files, written so that a failure never
// leaves half a file behind.
#include "cli/host_state.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "pictures/picture.h"
#include "cli/platform.h"
#include "core/parameters.h"

namespace vantrel::cli {
namespace {

std::string CodeText(uint32 code) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[std::size_t(i)] = char((code >> (24 - 8 * i)) & 0xFF);
  return s;
}

bool ParseCode(const std::string& text, uint32& code) {
  if (text.size() != 4) return false;
  code = 0;
  for (char c : text) code = code << 8 | uint8(c);
  return true;
}

std::string ReadWholeFile(const std::string& path, std::string& contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open the file";
  std::ostringstream s;
  s << in.rdbuf();
  contents = s.str();
  return "";
}

}  // namespace

std::string TemporaryBeside(const std::string& target) {
  const std::filesystem::path path(target);
  std::string name = ".";
  name += path.stem().string();
  name += ".vantrel-";
  name += std::to_string(platform::ProcessId());
  name += path.extension().string();
  return (path.parent_path() / name).string();
}

std::string StageFile(const std::string& path, const std::string& contents, StagedFile& staged) {
  staged = {path, TemporaryBeside(path)};
  std::ofstream out(staged.temporary, std::ios::binary | std::ios::trunc);
  out << contents;
  out.close();
  std::string why = out ? platform::FlushToDisk(staged.temporary) : "cannot write the file";
  if (!why.empty()) {
    std::error_code ignored;
    std::filesystem::remove(staged.temporary, ignored);
    return why;
  }
  return "";
}

std::string PlaceStaged(const std::vector<StagedFile>& files) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::error_code error;
    std::filesystem::rename(files[i].temporary, files[i].path, error);
    if (error) {
      DiscardStaged(std::vector<StagedFile>(files.begin() + std::ptrdiff_t(i), files.end()));
      return files[i].path + ": cannot put the file in place (" + error.message() + ")";
    }
  }
  return "";
}

void DiscardStaged(const std::vector<StagedFile>& files) {
  std::error_code ignored;
  for (const StagedFile& file : files) std::filesystem::remove(file.temporary, ignored);
}

std::string WriteFileAtomically(const std::string& path, const std::string& contents) {
  StagedFile staged;
  if (std::string why = StageFile(path, contents, staged); !why.empty()) return why;
  std::error_code error;
  std::filesystem::rename(staged.temporary, path, error);
  if (error) {
    DiscardStaged({staged});
    return "cannot put the file in place (" + error.message() + ")";
  }
  return "";
}

std::string ReadParameterBlock(const std::string& path, std::vector<char>& block) {
  std::string contents;
  if (std::string why = ReadWholeFile(path, contents); !why.empty()) return why;
  if (contents.size() != sizeof(FilterParameters))
    return "not a parameter block (" + std::to_string(contents.size()) + " bytes, a block has " +
           std::to_string(sizeof(FilterParameters)) + ")";
  block.assign(contents.begin(), contents.end());
  return "";
}

std::string ReadDescriptorFile(const std::string& path, runner::Descriptor& items) {
  std::string contents;
  if (std::string why = ReadWholeFile(path, contents); !why.empty()) return why;
  std::istringstream lines(contents);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a file edited on Windows
    if (line.empty()) continue;
    // Codes may hold spaces ("#Prc" does not, but a key could): they are the
    // four characters after a single separating space.
    uint32 key = 0, type = 0, extra = 0;
    const std::string bad = "line " + std::to_string(number) + " is not \"key type value\"";
    if (line.size() < 10 || line[4] != ' ' || line[9] != ' ' || !ParseCode(line.substr(0, 4), key) ||
        !ParseCode(line.substr(5, 4), type))
      return bad;
    std::istringstream rest(line.substr(10));
    const std::string kind = CodeText(type);
    runner::DescriptorItem item;
    if (kind == "UntF" || kind == "enum") {
      if (line.size() < 16 || line[14] != ' ' || !ParseCode(line.substr(10, 4), extra)) return bad;
      rest.str(line.substr(15));
    }
    if (kind == "UntF") {
      double v = 0;
      if (!(rest >> v)) return bad;
      item = runner::DescriptorItem::UnitFloat(key, extra, v);
    } else if (kind == "enum") {
      uint32 value = 0;
      if (!ParseCode(rest.str(), value)) return bad;
      rest.str("");
      item = runner::DescriptorItem::Enumerated(key, extra, value);
    } else if (kind == "bool") {
      int v = 0;
      if (!(rest >> v)) return bad;
      item = runner::DescriptorItem::Bool(key, v != 0);
    } else if (kind == "long") {
      int32 v = 0;
      if (!(rest >> v)) return bad;
      item = runner::DescriptorItem::Integer(key, v);
    } else if (kind == "doub") {
      double v = 0;
      if (!(rest >> v)) return bad;
      item = {.key = key, .type = type, .number = v};
    } else {
      return "line " + std::to_string(number) + " has a value of unknown type \"" + kind + "\"";
    }
    if (!(rest >> std::ws).eof()) return bad;
    items.push_back(item);
  }
  return "";
}

std::string DescriptorText(const runner::Descriptor& items) {
  std::ostringstream out;
  out.precision(17);
  for (const runner::DescriptorItem& item : items) {
    const std::string kind = CodeText(item.type);
    out << CodeText(item.key) << ' ' << kind << ' ';
    if (kind == "UntF") out << CodeText(item.unitOrEnumType) << ' ' << item.number;
    else if (kind == "enum") out << CodeText(item.unitOrEnumType) << ' ' << CodeText(item.enumValue);
    else if (kind == "bool") out << (item.boolean ? 1 : 0);
    else if (kind == "long") out << item.integer;
    else out << item.number;
    out << '\n';
  }
  return out.str();
}

}  // namespace vantrel::cli
