// Vantrel.8bf as a host finds it: a 32-bit library exporting exactly our two
// names and needing nothing beyond the system's own libraries.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

namespace {

std::string BesideProgram(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/") + 1) + name;
}

// The library mapped as an image, without running its code.
struct MappedImage {
  HMODULE module = LoadLibraryExA(BesideProgram("Vantrel.8bf").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ~MappedImage() {
    if (module) FreeLibrary(module);
  }
  const unsigned char* base() const { return reinterpret_cast<const unsigned char*>(module); }
  const IMAGE_NT_HEADERS32* nt() const {
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base());
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base() + dos->e_lfanew);
  }
  const IMAGE_DATA_DIRECTORY& directory(int index) const { return nt()->OptionalHeader.DataDirectory[index]; }
};

TEST(ExportTable, HoldsExactlyEntryPointAndDialogProcedure) {
  MappedImage image;
  ASSERT_NE(image.module, nullptr);
  EXPECT_EQ(image.nt()->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_TRUE(image.nt()->FileHeader.Characteristics & IMAGE_FILE_DLL);
  const auto& dir = image.directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(dir.VirtualAddress, 0u);
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image.base() + dir.VirtualAddress);
  auto names = reinterpret_cast<const DWORD*>(image.base() + exports->AddressOfNames);
  std::set<std::string> found;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    found.insert(reinterpret_cast<const char*>(image.base() + names[i]));
  EXPECT_EQ(found, (std::set<std::string>{"ENTRYPOINT", "ZorvikProc"}));
  EXPECT_EQ(exports->NumberOfFunctions, 2u);
}

TEST(ExportTable, LibraryImportsOnlySystemLibraries) {
  MappedImage image;
  ASSERT_NE(image.module, nullptr);
  const auto& dir = image.directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  auto import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.base() + dir.VirtualAddress);
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "version.dll", "msvcrt.dll"};
  int count = 0;
  for (; import->Name != 0; ++import, ++count) {
    std::string name(reinterpret_cast<const char*>(image.base() + import->Name));
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_TRUE(system.count(name) || name.rfind("api-ms-win-", 0) == 0) << "imports " << name;
  }
  EXPECT_GT(count, 0);
}

TEST(ExportTable, EntryPointsResolveByName) {
  HMODULE module = LoadLibraryA(BesideProgram("Vantrel.8bf").c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetProcAddress(module, "ENTRYPOINT"), nullptr);
  EXPECT_NE(GetProcAddress(module, "ZorvikProc"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "ZorvikProc@16"), nullptr);
  FreeLibrary(module);
}

}  // namespace
