// libvips started and stopped for the process: its loadable modules left
// until a format may need them, and the C library's allocator tuned for
// pictures that stream.
#include <dlfcn.h>
#include <gmodule.h>
#include <libintl.h>
#include <vips/vips.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdlib>
#include <string>

#include "pictures/picture.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// libvips' loadable modules (HEIF, JPEG XL, ImageMagick, OpenSlide, PDF)
// pull in some fifty more libraries, whose loading and set-up take about
// half the start-up of a small job. They are loaded when a format may need
// them: never for JPEG and PNG files in and PNG, JPEG and TIFF files out,
// which libvips reads and writes itself and no module claims before it.
bool g_modulesDeferred = false;
std::string g_moduleFolder;  // where libvips keeps them
std::string g_prefix;        // the folder above its library's "lib..." one

// Where libvips' own library lies, and the folders beside it.
void FindVipsFolders() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&vips_init), &info) == 0 || info.dli_fname == nullptr) return;
  char* real = realpath(info.dli_fname, nullptr);
  if (real == nullptr) return;
  std::string library = real;
  std::free(real);
  const std::string folder = library.substr(0, library.rfind('/'));
  g_moduleFolder = folder + "/vips-modules-" + std::to_string(VIPS_MAJOR_VERSION) + "." + std::to_string(VIPS_MINOR_VERSION);
  const auto lib = folder.find("/lib");
  if (lib != std::string::npos) g_prefix = folder.substr(0, lib);
}

void LoadModules() {
  if (!g_modulesDeferred) return;
  g_modulesDeferred = false;
  GDir* folder = g_dir_open(g_moduleFolder.c_str(), 0, nullptr);
  if (folder == nullptr) return;
  // As libvips loads them: each registers its operations when opened.
  while (const char* name = g_dir_read_name(folder)) {
    if (!g_str_has_suffix(name, "." G_MODULE_SUFFIX)) continue;
    const std::string path = g_moduleFolder + "/" + name;
    if (GModule* module = g_module_open(path.c_str(), G_MODULE_BIND_LAZY)) g_module_make_resident(module);
  }
  g_dir_close(folder);
}

// Strips and bands of a few megabytes each are allocated and freed over and
// over while a picture streams. By default the C library maps blocks that
// large afresh each time and gives them back at once, so every strip faults
// its pages in again (a tenth of a second on a 12-megapixel 16-bit TIFF).
// Kept in the heap, freed blocks are reused as they are.
void ReuseLargeBlocks() {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

}  // namespace

void KnowEveryFormat() { LoadModules(); }

void StartPictures(const char* programPath, bool acceptDamaged) {
  KeepMessages(acceptDamaged);
  ReuseLargeBlocks();
  // libvips loads its modules from below its prefix, which VIPSHOME moves
  // (and which libvips itself puts there, for the programs it starts):
  // pointed at a folder without them for the start, it loads none. A
  // VIPSHOME naming another prefix is left to libvips. The environment is
  // put back as it was, and the messages' folder, taken from the prefix
  // too, with it.
  FindVipsFolders();
  const char* home = g_getenv("VIPSHOME");
  const std::string kept = home != nullptr ? home : "";
  g_modulesDeferred = !g_moduleFolder.empty() && !g_prefix.empty() && (home == nullptr || kept == g_prefix);
  if (g_modulesDeferred) g_setenv("VIPSHOME", "/nonexistent/vantrel-modules-later", TRUE);
  const int started = VIPS_INIT(programPath);
  if (g_modulesDeferred) {
    if (kept.empty())
      g_unsetenv("VIPSHOME");
    else
      g_setenv("VIPSHOME", kept.c_str(), TRUE);
    bindtextdomain(("vips" + std::to_string(VIPS_MAJOR_VERSION) + "." + std::to_string(VIPS_MINOR_VERSION)).c_str(),
                   (g_prefix + "/share/locale").c_str());
  }
  if (started != 0) vips_error_exit("cannot start libvips");
  // Pixels are cached by the program itself; libvips' operation cache would
  // only hold on to memory.
  vips_cache_set_max(0);
}

void StopPictures() { vips_shutdown(); }

}  // namespace vantrel::pictures
