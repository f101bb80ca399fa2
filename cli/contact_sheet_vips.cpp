// Contact sheets through libvips: the thumbnail shrunk once from the file,
// one run of the filter per order over it, CMYK cells turned to RGB by
// libvips' colour management, labels set by libvips' text renderer and the
// cells joined into a grid by libvips; nothing is drawn here.
#include <vips/vips.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "cli/contact_sheet.h"
#include "cli/host_state.h"
#include "pictures/picture.h"
#include "pictures/samples.h"
#include "cli/platform.h"
#include "core/channel_orders.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

// Spacing of the sheet, in pixels: around it, between cells, between a
// thumbnail and its label.
constexpr int kMargin = 16;
constexpr int kGap = 12;
constexpr int kLabelGap = 4;
constexpr const char* kLabelFont = "sans 10";
constexpr const char* kTitleFont = "sans bold 12";
constexpr int kDpi = 96;
// A thumbnail's longest side when even the smallest cells would not let the
// sheet fit the screen.
constexpr int kSmallestThumbnail = 48;

struct Unref {
  void operator()(VipsImage* image) const { g_object_unref(image); }
};
using Owned = std::unique_ptr<VipsImage, Unref>;

std::string Reason(const std::string& what) {
  std::string text = vips_error_buffer();
  vips_error_clear();
  const auto newline = text.find('\n');
  if (newline != std::string::npos) text.resize(newline);
  return text.empty() ? what : what + " (" + text + ")";
}

// The sheet's white, opaque in every plane.
class Background {
 public:
  Background() : array_(vips_array_double_newv(1, 255.0)) {}
  ~Background() { vips_area_unref(VIPS_AREA(array_)); }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  VipsArrayDouble* get() const { return array_; }

 private:
  VipsArrayDouble* array_;
};

// The rows a sheet shows, in table order: every RGB order; the CMYK orders
// that take each ink once, or all of them; only the orders that take each
// channel once, of either mode, when the settings say so.
std::vector<int16> SheetOrders(int16 mode, const SheetSettings& settings) {
  const bool all = !settings.swapsOnly && (settings.allOrders || !host::CmykMode(mode));
  std::vector<int16> rows;
  for (int16 i = 0; i < ChannelOrderCount(mode); ++i)
    if (all || ChannelOrderTakesEachOnce(mode, i)) rows.push_back(i);
  return rows;
}

// `text` in black on white, as three planes, plus an opaque fourth when
// `alpha`.
Owned Text(const std::string& text, const char* font, bool alpha, std::string& why) {
  VipsImage *ink = nullptr, *paper = nullptr, *rgb = nullptr, *out = nullptr;
  bool ok = vips_text(&ink, text.c_str(), "font", font, "dpi", kDpi, nullptr) == 0 &&
            vips_invert(ink, &paper, nullptr) == 0;
  if (ok) {
    VipsImage* planes[3] = {paper, paper, paper};
    ok = vips_bandjoin(planes, &rgb, 3, nullptr) == 0;
  }
  if (ok) ok = alpha ? vips_bandjoin_const1(rgb, &out, 255, nullptr) == 0 : vips_copy(rgb, &out, nullptr) == 0;
  for (VipsImage* step : {ink, paper, rgb})
    if (step != nullptr) g_object_unref(step);
  if (!ok) {
    why = Reason("cannot set the text \"" + text + "\"");
    return nullptr;
  }
  VipsImage* typed = nullptr;
  ok = vips_copy(out, &typed, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr) == 0;
  g_object_unref(out);
  if (!ok) why = Reason("cannot set the text");
  return Owned(typed);
}

// Where the cells go: the thumbnails' scale and the number of columns.
struct Layout {
  double scale = 1;
  int columns = 1;
};

struct Cells {
  int count;
  int width, height;             // the image as stored
  int labelWidth, labelHeight;   // the widest and tallest label
  int titleHeight;
};

// The sheet's size with thumbnails at `scale` in `columns` columns.
std::pair<double, double> SheetSize(const Cells& c, double scale, int columns) {
  const int rows = (c.count + columns - 1) / columns;
  const double cellWidth = std::max(std::max(1.0, std::round(c.width * scale)), double(c.labelWidth));
  const double cellHeight = std::max(1.0, std::round(c.height * scale)) + kLabelGap + c.labelHeight;
  return {2.0 * kMargin + columns * cellWidth + (columns - 1) * kGap,
          2.0 * kMargin + c.titleHeight + kGap + rows * cellHeight + (rows - 1) * kGap};
}

// By default the largest thumbnails, never enlarged, with which some number
// of columns lets the sheet fit the screen; with `thumbnailSize`, thumbnails
// of that longest side. Then the columns with which the sheet fits the
// screen best.
Layout Arrange(const Cells& c, int thumbnailSize) {
  Layout layout;
  if (thumbnailSize > 0) {
    layout.scale = double(thumbnailSize) / std::max(c.width, c.height);
  } else {
    double best = 0;
    for (int columns = 1; columns <= c.count; ++columns) {
      const int rows = (c.count + columns - 1) / columns;
      const double cellWidth = double(kScreenWidth - 2 * kMargin - (columns - 1) * kGap) / columns;
      const double cellHeight =
          double(kScreenHeight - 2 * kMargin - c.titleHeight - kGap - (rows - 1) * kGap) / rows - kLabelGap -
          c.labelHeight;
      if (cellWidth < c.labelWidth || cellHeight < 1) continue;
      // A pixel less each way: the shrunk size is rounded.
      best = std::max(best, std::min((cellWidth - 1) / c.width, (cellHeight - 1) / c.height));
    }
    layout.scale = best > 0 ? best : double(kSmallestThumbnail) / std::max(c.width, c.height);
  }
  layout.scale = std::min(layout.scale, 1.0);
  double bestFit = 0;
  for (int columns = 1; columns <= c.count; ++columns) {
    const auto [width, height] = SheetSize(c, layout.scale, columns);
    const double fit = std::min(kScreenWidth / width, kScreenHeight / height);
    if (fit > bestFit) {
      bestFit = fit;
      layout.columns = columns;
    }
  }
  return layout;
}

// Wraps interleaved 8-bit pixels of `planes` planes, of the colour space
// `type`, as an image of libvips.
Owned Wrapped(const uint8* pixels, int width, int height, int planes, VipsInterpretation type, std::string& why) {
  VipsImage* memory = vips_image_new_from_memory_copy(pixels, std::size_t(width) * height * planes, width, height,
                                                      planes, VIPS_FORMAT_UCHAR);
  VipsImage* typed = nullptr;
  if (memory == nullptr || vips_copy(memory, &typed, "interpretation", type, nullptr) != 0)
    why = Reason("cannot wrap the pixels");
  if (memory != nullptr) g_object_unref(memory);
  return Owned(typed);
}

// The filtered thumbnails as the sheet shows them, at 8 bits whatever the
// input's depth: RGB as they are, CMYK turned to RGB through the input's
// profile (libvips' own CMYK profile when it has none); a transparency plane
// kept. The CMYK cells are turned all at once, stacked, since setting up the
// colour transform costs far more than applying it to a thumbnail.
std::vector<Owned> Shown(const std::vector<runner::Image>& filtered, const pictures::Picture& picture,
                         std::string& why) {
  std::vector<Owned> shown;
  if (filtered.empty()) return shown;
  const int width = filtered[0].width, height = filtered[0].height, planes = filtered[0].planes;
  if (!host::CmykMode(picture.imageMode)) {
    for (const runner::Image& cell : filtered) {
      const runner::Image bytes = pictures::HostToFile(cell, picture.imageMode, 8);
      shown.push_back(Wrapped(bytes.pixels.data(), width, height, planes, VIPS_INTERPRETATION_sRGB, why));
      if (!shown.back()) return {};
    }
    return shown;
  }
  // The cells one under another, in the files' convention (0 = no ink).
  runner::Image stack;
  stack.planes = int16(planes);
  for (const runner::Image& cell : filtered) {
    const runner::Image bytes = pictures::HostToFile(cell, picture.imageMode, 8);
    stack.pixels.insert(stack.pixels.end(), bytes.pixels.begin(), bytes.pixels.end());
  }
  Owned cmyk = Wrapped(stack.pixels.data(), width, height * int(filtered.size()), planes, VIPS_INTERPRETATION_CMYK, why);
  if (!cmyk) return {};
  auto* original = static_cast<VipsImage*>(picture.file.get());
  const void* profile = nullptr;
  std::size_t length = 0;
  if (original != nullptr && vips_image_get_typeof(original, VIPS_META_ICC_NAME) != 0 &&
      vips_image_get_blob(original, VIPS_META_ICC_NAME, &profile, &length) == 0)
    vips_image_set_blob_copy(cmyk.get(), VIPS_META_ICC_NAME, profile, length);
  VipsImage *rgb = nullptr, *bytes = nullptr;
  const bool ok = vips_colourspace(cmyk.get(), &rgb, VIPS_INTERPRETATION_sRGB, nullptr) == 0 &&
                  vips_cast_uchar(rgb, &bytes, nullptr) == 0;
  if (rgb != nullptr) g_object_unref(rgb);
  Owned converted(bytes);
  std::size_t size = 0;
  void* memory = ok ? vips_image_write_to_memory(converted.get(), &size) : nullptr;
  if (memory == nullptr) {
    why = Reason("cannot show the CMYK cells as RGB");
    return {};
  }
  const int shownPlanes = converted->Bands;
  const std::size_t cellBytes = std::size_t(width) * height * shownPlanes;
  for (std::size_t i = 0; i < filtered.size() && why.empty(); ++i)
    shown.push_back(Wrapped(static_cast<const uint8*>(memory) + i * cellBytes, width, height, shownPlanes,
                            VIPS_INTERPRETATION_sRGB, why));
  g_free(memory);
  if (!why.empty()) return {};
  return shown;
}

// `top` over `bottom`, centred or (with `left`) left-aligned, `gap` apart.
Owned Stacked(VipsImage* top, VipsImage* bottom, int gap, bool left, const Background& white, std::string& why) {
  VipsImage* out = nullptr;
  if (vips_join(top, bottom, &out, VIPS_DIRECTION_VERTICAL, "expand", TRUE, "shim", gap, "background", white.get(),
                "align", left ? VIPS_ALIGN_LOW : VIPS_ALIGN_CENTRE, nullptr) != 0)
    why = Reason("cannot join the sheet");
  return Owned(out);
}

std::string Title(const std::string& input, int16 mode, std::size_t orders, const JobSettings& job) {
  std::string title = fs::path(input).filename().string() + ": " + (host::CmykMode(mode) ? "CMYK" : "RGB") +
                      ", " + std::to_string(orders) + " channel orders";
  if (job.blend) title += std::string(", blend ") + BlendMethodName(*job.blend);
  if (job.cleared.value_or(kNoChannelCleared) != kNoChannelCleared)
    title += ", channel " + std::to_string(*job.cleared) + " cleared";
  return title;
}

// The sheet: the cells in a grid `columns` across under the title, framed
// in white; nullptr with `why` set when libvips cannot make it.
Owned Page(const std::vector<Owned>& cells, Owned& title, int columns, bool alpha, const Background& white,
           std::string& why) {
  std::vector<VipsImage*> grid;
  for (const Owned& cell : cells) grid.push_back(cell.get());
  VipsImage* joined = nullptr;
  if (vips_arrayjoin(grid.data(), &joined, int(grid.size()), "across", columns, "shim", kGap, "background",
                     white.get(), "halign", VIPS_ALIGN_CENTRE, nullptr) != 0) {
    why = Reason("cannot join the cells");
    return nullptr;
  }
  Owned table(joined);
  if (alpha) {
    VipsImage* opaque = nullptr;
    if (vips_bandjoin_const1(title.get(), &opaque, 255, nullptr) != 0) {
      why = Reason("cannot set the title");
      return nullptr;
    }
    title.reset(opaque);
  }
  Owned page = Stacked(title.get(), table.get(), kGap, true, white, why);
  if (!page) return nullptr;
  VipsImage* framed = nullptr;
  if (vips_embed(page.get(), &framed, kMargin, kMargin, page->Xsize + 2 * kMargin, page->Ysize + 2 * kMargin,
                 "extend", VIPS_EXTEND_BACKGROUND, "background", white.get(), nullptr) != 0) {
    why = Reason("cannot frame the sheet");
    return nullptr;
  }
  return Owned(framed);
}

// Writes `sheet` through a temporary file beside `path`, on the disk before
// it is renamed into place.
std::string WriteSheet(VipsImage* sheet, const std::string& path) {
  const std::string temporary = TemporaryBeside(path);
  const bool png = pictures::Extension(path) == ".png";
  std::string why;
  if (vips_image_write_to_file(sheet, (temporary + (png ? "[filter=all]" : "")).c_str(), nullptr) != 0)
    why = Reason("cannot write the file");
  if (why.empty()) {
    if (const std::string flush = platform::FlushToDisk(temporary); !flush.empty())
      why = "cannot write the file to the disk (" + flush + ")";
  }
  std::error_code error;
  if (why.empty()) {
    fs::rename(temporary, path, error);
    if (error) why = "cannot put the file in place (" + error.message() + ")";
  }
  if (!why.empty()) fs::remove(temporary, error);
  return why;
}

}  // namespace

bool MakesContactSheets() { return true; }

Outcome MakeContactSheet(runner::EntryProc entry, const SheetSettings& settings, const std::string& input,
                         const std::string& sheet, ProgressReport progress) {
  std::error_code error;
  if (!fs::is_regular_file(input, error)) return {kFailed, input + ": no such file"};
  if (fs::exists(sheet, error) && fs::equivalent(input, sheet, error))
    return {kFailed, sheet + ": is the input file; choose another name for the sheet"};
  const fs::path folder = fs::path(sheet).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, error)) return {kFailed, sheet + ": no such folder"};
  pictures::KnowEveryFormat();
  if (vips_foreign_find_save(sheet.c_str()) == nullptr) {
    vips_error_clear();
    return {kFailed, sheet + ": no image format for the extension \"" + pictures::Extension(sheet) + "\""};
  }

  // The thumbnail is read once, at the size the labels leave for it.
  std::vector<int16> orders;
  std::vector<Owned> labels;
  std::string why;
  Layout layout;
  Owned title;
  const pictures::FitFor fit = [&](int width, int height, int16 mode) {
    orders = SheetOrders(mode, settings);
    Cells cells{int(orders.size()), width, height, 0, 0, 0};
    for (int16 row : orders) {
      labels.push_back(Text(std::to_string(row) + "  " + ChannelOrderName(mode, row), kLabelFont, false, why));
      if (!labels.back()) return pictures::Fit{};
      cells.labelWidth = std::max(cells.labelWidth, labels.back()->Xsize);
      cells.labelHeight = std::max(cells.labelHeight, labels.back()->Ysize);
    }
    title = Text(Title(input, mode, orders.size(), settings.job), kTitleFont, false, why);
    if (!title) return pictures::Fit{};
    cells.titleHeight = title->Ysize;
    layout = Arrange(cells, settings.thumbnailSize);
    return pictures::Fit{std::max(1, int(width * layout.scale)), std::max(1, int(height * layout.scale))};
  };
  pictures::Picture picture;
  if (std::string reading = pictures::ReadThumbnail(input, fit, picture); !reading.empty())
    return {kFailed, input + ": " + reading};
  if (!why.empty()) return {kFailed, sheet + ": " + why};
  // Labels and title get an opaque transparency plane beside cells with one.
  const bool alpha = picture.pixels.planes > host::ColourPlanes(picture.imageMode);

  std::vector<runner::Image> filtered(orders.size());
  for (std::size_t i = 0; i < orders.size(); ++i) {
    JobSettings cell = settings.job;
    cell.orderName.clear();
    cell.orderIndex = orders[i];
    const std::string name = input + " (order " + std::to_string(orders[i]) + ")";
    if (Outcome run = FilterPixels(entry, cell, picture, name, filtered[i]); run.status != kSucceeded) return run;
    if (progress != nullptr) progress(int32(i), int32(orders.size()));
  }
  std::vector<Owned> shown = Shown(filtered, picture, why);
  if (shown.empty()) return {kFailed, sheet + ": " + why};

  const Background white;
  std::vector<Owned> cells;
  for (std::size_t i = 0; i < orders.size(); ++i) {
    Owned label(labels[i].release());
    if (alpha) {
      VipsImage* opaque = nullptr;
      if (vips_bandjoin_const1(label.get(), &opaque, 255, nullptr) != 0)
        return {kFailed, sheet + ": " + Reason("cannot set the labels")};
      label.reset(opaque);
    }
    cells.push_back(Stacked(shown[i].get(), label.get(), kLabelGap, false, white, why));
    if (!cells.back()) return {kFailed, sheet + ": " + why};
  }

  Owned out = Page(cells, title, layout.columns, alpha, white, why);
  if (!out) return {kFailed, sheet + ": " + why};
  // An RGB input's profile tells a viewer how to show the cells' colours.
  auto* original = static_cast<VipsImage*>(picture.file.get());
  const void* profile = nullptr;
  std::size_t length = 0;
  if (!host::CmykMode(picture.imageMode) && original != nullptr &&
      vips_image_get_typeof(original, VIPS_META_ICC_NAME) != 0 &&
      vips_image_get_blob(original, VIPS_META_ICC_NAME, &profile, &length) == 0)
    vips_image_set_blob_copy(out.get(), VIPS_META_ICC_NAME, profile, length);
  if (platform::Interrupted()) return {kCancelled, sheet + ": cancelled; nothing written"};
  if (why = WriteSheet(out.get(), sheet); !why.empty()) return {kFailed, sheet + ": " + why};
  return {};
}

}  // namespace vantrel::cli
