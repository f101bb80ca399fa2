// The channel order tables: 24 orders for RGB, 256 for CMYK, in the order the
// dialog lists them and the parameter block stores them.
#include "core/channel_orders.h"

#include <cctype>
#include <iterator>

namespace vantrel {
namespace {

// The RGB table holds every three-letter word over R, G and B but the three
// constant ones; the CMYK table every four-letter word over C, M, Y and K, the
// constant ones last. Beyond the first 24 CMYK rows (all four letters
// different) the order is the established one and follows no simpler rule.
constexpr ChannelOrder kRgbOrders[] = {
    /*  0 */ {"R G B", {0, 1, 2}}, {"B R G", {2, 0, 1}}, {"G B R", {1, 2, 0}}, {"R B G", {0, 2, 1}},
    /*  4 */ {"G R B", {1, 0, 2}}, {"B G R", {2, 1, 0}}, {"R R B", {0, 0, 2}}, {"B R R", {2, 0, 0}},
    /*  8 */ {"R B R", {0, 2, 0}}, {"R G G", {0, 1, 1}}, {"G R G", {1, 0, 1}}, {"G G R", {1, 1, 0}},
    /* 12 */ {"R B B", {0, 2, 2}}, {"B R B", {2, 0, 2}}, {"B B R", {2, 2, 0}}, {"G R R", {1, 0, 0}},
    /* 16 */ {"R G R", {0, 1, 0}}, {"R R G", {0, 0, 1}}, {"G B B", {1, 2, 2}}, {"B G B", {2, 1, 2}},
    /* 20 */ {"B B G", {2, 2, 1}}, {"B G G", {2, 1, 1}}, {"G B G", {1, 2, 1}}, {"G G B", {1, 1, 2}},
};

constexpr ChannelOrder kCmykOrders[] = {
    /*   0 */ {"C M Y K", {0, 1, 2, 3}}, {"C M K Y", {0, 1, 3, 2}}, {"C Y M K", {0, 2, 1, 3}}, {"C Y K M", {0, 2, 3, 1}},
    /*   4 */ {"C K M Y", {0, 3, 1, 2}}, {"C K Y M", {0, 3, 2, 1}}, {"M C Y K", {1, 0, 2, 3}}, {"M C K Y", {1, 0, 3, 2}},
    /*   8 */ {"M Y C K", {1, 2, 0, 3}}, {"M Y K C", {1, 2, 3, 0}}, {"M K C Y", {1, 3, 0, 2}}, {"M K Y C", {1, 3, 2, 0}},
    /*  12 */ {"Y C M K", {2, 0, 1, 3}}, {"Y C K M", {2, 0, 3, 1}}, {"Y M C K", {2, 1, 0, 3}}, {"Y M K C", {2, 1, 3, 0}},
    /*  16 */ {"Y K C M", {2, 3, 0, 1}}, {"Y K M C", {2, 3, 1, 0}}, {"K C M Y", {3, 0, 1, 2}}, {"K C Y M", {3, 0, 2, 1}},
    /*  20 */ {"K M C Y", {3, 1, 0, 2}}, {"K M Y C", {3, 1, 2, 0}}, {"K Y C M", {3, 2, 0, 1}}, {"K Y M C", {3, 2, 1, 0}},
    /*  24 */ {"C C M Y", {0, 0, 1, 2}}, {"C C M K", {0, 0, 1, 3}}, {"C C Y M", {0, 0, 2, 1}}, {"C C Y K", {0, 0, 2, 3}},
    /*  28 */ {"C C K M", {0, 0, 3, 1}}, {"C C K Y", {0, 0, 3, 2}}, {"M C C Y", {1, 0, 0, 2}}, {"M C C K", {1, 0, 0, 3}},
    /*  32 */ {"M Y C C", {1, 2, 0, 0}}, {"M K C C", {1, 3, 0, 0}}, {"Y C C M", {2, 0, 0, 1}}, {"Y C C K", {2, 0, 0, 3}},
    /*  36 */ {"Y M C C", {2, 1, 0, 0}}, {"Y K C C", {2, 3, 0, 0}}, {"K C C M", {3, 0, 0, 1}}, {"K C C Y", {3, 0, 0, 2}},
    /*  40 */ {"K M C C", {3, 1, 0, 0}}, {"K Y C C", {3, 2, 0, 0}}, {"C M C Y", {0, 1, 0, 2}}, {"C M C K", {0, 1, 0, 3}},
    /*  44 */ {"C M Y C", {0, 1, 2, 0}}, {"C M K C", {0, 1, 3, 0}}, {"C Y C M", {0, 2, 0, 1}}, {"C Y C K", {0, 2, 0, 3}},
    /*  48 */ {"C Y M C", {0, 2, 1, 0}}, {"C Y K C", {0, 2, 3, 0}}, {"C K C M", {0, 3, 0, 1}}, {"C K C Y", {0, 3, 0, 2}},
    /*  52 */ {"C K M C", {0, 3, 1, 0}}, {"C K Y C", {0, 3, 2, 0}}, {"M C Y C", {1, 0, 2, 0}}, {"M C K C", {1, 0, 3, 0}},
    /*  56 */ {"Y C M C", {2, 0, 1, 0}}, {"Y C K C", {2, 0, 3, 0}}, {"K C Y C", {3, 0, 2, 0}}, {"K C M C", {3, 0, 1, 0}},
    /*  60 */ {"C M M Y", {0, 1, 1, 2}}, {"C M M K", {0, 1, 1, 3}}, {"C Y M M", {0, 2, 1, 1}}, {"C K M M", {0, 3, 1, 1}},
    /*  64 */ {"M M C Y", {1, 1, 0, 2}}, {"M M C K", {1, 1, 0, 3}}, {"M M Y C", {1, 1, 2, 0}}, {"M M Y K", {1, 1, 2, 3}},
    /*  68 */ {"M M K C", {1, 1, 3, 0}}, {"M M K Y", {1, 1, 3, 2}}, {"Y C M M", {2, 0, 1, 1}}, {"Y M M C", {2, 1, 1, 0}},
    /*  72 */ {"Y M M K", {2, 1, 1, 3}}, {"Y K M M", {2, 3, 1, 1}}, {"K C M M", {3, 0, 1, 1}}, {"K M M C", {3, 1, 1, 0}},
    /*  76 */ {"K M M Y", {3, 1, 1, 2}}, {"K Y M M", {3, 2, 1, 1}}, {"C M Y M", {0, 1, 2, 1}}, {"C M K M", {0, 1, 3, 1}},
    /*  80 */ {"M C M Y", {1, 0, 1, 2}}, {"M C M K", {1, 0, 1, 3}}, {"M C Y M", {1, 0, 2, 1}}, {"M C K M", {1, 0, 3, 1}},
    /*  84 */ {"M Y C M", {1, 2, 0, 1}}, {"M Y M C", {1, 2, 1, 0}}, {"M Y M K", {1, 2, 1, 3}}, {"M Y K M", {1, 2, 3, 1}},
    /*  88 */ {"M K C M", {1, 3, 0, 1}}, {"M K M C", {1, 3, 1, 0}}, {"M K M Y", {1, 3, 1, 2}}, {"M K Y M", {1, 3, 2, 1}},
    /*  92 */ {"Y M C M", {2, 1, 0, 1}}, {"Y M K M", {2, 1, 3, 1}}, {"K M C M", {3, 1, 0, 1}}, {"K M Y M", {3, 1, 2, 1}},
    /*  96 */ {"C M Y Y", {0, 1, 2, 2}}, {"C Y Y M", {0, 2, 2, 1}}, {"C K Y Y", {0, 3, 2, 2}}, {"C Y Y K", {0, 2, 2, 3}},
    /* 100 */ {"M C Y Y", {1, 0, 2, 2}}, {"M Y Y C", {1, 2, 2, 0}}, {"M Y Y K", {1, 2, 2, 3}}, {"M K Y Y", {1, 3, 2, 2}},
    /* 104 */ {"Y Y C M", {2, 2, 0, 1}}, {"Y Y C K", {2, 2, 0, 3}}, {"Y Y M C", {2, 2, 1, 0}}, {"Y Y M K", {2, 2, 1, 3}},
    /* 108 */ {"Y Y K C", {2, 2, 3, 0}}, {"Y Y K M", {2, 2, 3, 1}}, {"K C Y Y", {3, 0, 2, 2}}, {"K M Y Y", {3, 1, 2, 2}},
    /* 112 */ {"K Y Y C", {3, 2, 2, 0}}, {"K Y Y M", {3, 2, 2, 1}}, {"C Y M Y", {0, 2, 1, 2}}, {"C Y K Y", {0, 2, 3, 2}},
    /* 116 */ {"M Y C Y", {1, 2, 0, 2}}, {"M Y K Y", {1, 2, 3, 2}}, {"Y C M Y", {2, 0, 1, 2}}, {"Y C Y M", {2, 0, 2, 1}},
    /* 120 */ {"Y C Y K", {2, 0, 2, 3}}, {"Y M C Y", {2, 1, 0, 2}}, {"Y M Y C", {2, 1, 2, 0}}, {"Y M Y K", {2, 1, 2, 3}},
    /* 124 */ {"Y M K Y", {2, 1, 3, 2}}, {"Y K C Y", {2, 3, 0, 2}}, {"Y K M Y", {2, 3, 1, 2}}, {"Y K Y C", {2, 3, 2, 0}},
    /* 128 */ {"Y K Y M", {2, 3, 2, 1}}, {"Y C K Y", {2, 0, 3, 2}}, {"K Y C Y", {3, 2, 0, 2}}, {"K Y M Y", {3, 2, 1, 2}},
    /* 132 */ {"C M K K", {0, 1, 3, 3}}, {"C Y K K", {0, 2, 3, 3}}, {"C K K M", {0, 3, 3, 1}}, {"C K K Y", {0, 3, 3, 2}},
    /* 136 */ {"M C K K", {1, 0, 3, 3}}, {"M Y K K", {1, 2, 3, 3}}, {"M K K C", {1, 3, 3, 0}}, {"M K K Y", {1, 3, 3, 2}},
    /* 140 */ {"Y C K K", {2, 0, 3, 3}}, {"Y M K K", {2, 1, 3, 3}}, {"Y K K C", {2, 3, 3, 0}}, {"Y K K M", {2, 3, 3, 1}},
    /* 144 */ {"K K C M", {3, 3, 0, 1}}, {"K K C Y", {3, 3, 0, 2}}, {"K K M C", {3, 3, 1, 0}}, {"K K M Y", {3, 3, 1, 2}},
    /* 148 */ {"K K Y C", {3, 3, 2, 0}}, {"K K Y M", {3, 3, 2, 1}}, {"C K M K", {0, 3, 1, 3}}, {"C K Y K", {0, 3, 2, 3}},
    /* 152 */ {"M K C K", {1, 3, 0, 3}}, {"M K Y K", {1, 3, 2, 3}}, {"Y K C K", {2, 3, 0, 3}}, {"Y K M K", {2, 3, 1, 3}},
    /* 156 */ {"K C M K", {3, 0, 1, 3}}, {"K C Y K", {3, 0, 2, 3}}, {"K C K M", {3, 0, 3, 1}}, {"K C K Y", {3, 0, 3, 2}},
    /* 160 */ {"K M C K", {3, 1, 0, 3}}, {"K M Y K", {3, 1, 2, 3}}, {"K M K Y", {3, 1, 3, 2}}, {"K Y C K", {3, 2, 0, 3}},
    /* 164 */ {"K Y M K", {3, 2, 1, 3}}, {"K Y K C", {3, 2, 3, 0}}, {"K Y K M", {3, 2, 3, 1}}, {"K M K C", {3, 1, 3, 0}},
    /* 168 */ {"C C M M", {0, 0, 1, 1}}, {"C C Y Y", {0, 0, 2, 2}}, {"C C K K", {0, 0, 3, 3}}, {"C M C M", {0, 1, 0, 1}},
    /* 172 */ {"C M M C", {0, 1, 1, 0}}, {"C Y C Y", {0, 2, 0, 2}}, {"C Y Y C", {0, 2, 2, 0}}, {"C K C K", {0, 3, 0, 3}},
    /* 176 */ {"C K K C", {0, 3, 3, 0}}, {"M M C C", {1, 1, 0, 0}}, {"M M Y Y", {1, 1, 2, 2}}, {"M M K K", {1, 1, 3, 3}},
    /* 180 */ {"M C C M", {1, 0, 0, 1}}, {"M C M C", {1, 0, 1, 0}}, {"M Y M Y", {1, 2, 1, 2}}, {"M Y Y M", {1, 2, 2, 1}},
    /* 184 */ {"M K M K", {1, 3, 1, 3}}, {"M K K M", {1, 3, 3, 1}}, {"Y Y C C", {2, 2, 0, 0}}, {"Y Y M M", {2, 2, 1, 1}},
    /* 188 */ {"Y Y K K", {2, 2, 3, 3}}, {"Y C C Y", {2, 0, 0, 2}}, {"Y C Y C", {2, 0, 2, 0}}, {"Y M M Y", {2, 1, 1, 2}},
    /* 192 */ {"Y M Y M", {2, 1, 2, 1}}, {"Y K Y K", {2, 3, 2, 3}}, {"Y K K Y", {2, 3, 3, 2}}, {"K K C C", {3, 3, 0, 0}},
    /* 196 */ {"K K M M", {3, 3, 1, 1}}, {"K K Y Y", {3, 3, 2, 2}}, {"K C C K", {3, 0, 0, 3}}, {"K C K C", {3, 0, 3, 0}},
    /* 200 */ {"K M M K", {3, 1, 1, 3}}, {"K M K M", {3, 1, 3, 1}}, {"K Y Y K", {3, 2, 2, 3}}, {"K Y K Y", {3, 2, 3, 2}},
    /* 204 */ {"C C M C", {0, 0, 1, 0}}, {"C C Y C", {0, 0, 2, 0}}, {"C C K C", {0, 0, 3, 0}}, {"C M C C", {0, 1, 0, 0}},
    /* 208 */ {"C Y C C", {0, 2, 0, 0}}, {"C K C C", {0, 3, 0, 0}}, {"M C M M", {1, 0, 1, 1}}, {"M M C M", {1, 1, 0, 1}},
    /* 212 */ {"M M Y M", {1, 1, 2, 1}}, {"M M K M", {1, 1, 3, 1}}, {"M Y M M", {1, 2, 1, 1}}, {"M K M M", {1, 3, 1, 1}},
    /* 216 */ {"Y C Y Y", {2, 0, 2, 2}}, {"Y M Y Y", {2, 1, 2, 2}}, {"Y Y K Y", {2, 2, 3, 2}}, {"Y K Y Y", {2, 3, 2, 2}},
    /* 220 */ {"Y Y C Y", {2, 2, 0, 2}}, {"Y Y M Y", {2, 2, 1, 2}}, {"K C K K", {3, 0, 3, 3}}, {"K M K K", {3, 1, 3, 3}},
    /* 224 */ {"K Y K K", {3, 2, 3, 3}}, {"K K Y K", {3, 3, 2, 3}}, {"K K C K", {3, 3, 0, 3}}, {"K K M K", {3, 3, 1, 3}},
    /* 228 */ {"C C C M", {0, 0, 0, 1}}, {"C C C Y", {0, 0, 0, 2}}, {"C C C K", {0, 0, 0, 3}}, {"C M M M", {0, 1, 1, 1}},
    /* 232 */ {"C Y Y Y", {0, 2, 2, 2}}, {"C K K K", {0, 3, 3, 3}}, {"M M M C", {1, 1, 1, 0}}, {"M M M Y", {1, 1, 1, 2}},
    /* 236 */ {"M M M K", {1, 1, 1, 3}}, {"M C C C", {1, 0, 0, 0}}, {"M Y Y Y", {1, 2, 2, 2}}, {"M K K K", {1, 3, 3, 3}},
    /* 240 */ {"Y Y Y C", {2, 2, 2, 0}}, {"Y Y Y M", {2, 2, 2, 1}}, {"Y Y Y K", {2, 2, 2, 3}}, {"Y C C C", {2, 0, 0, 0}},
    /* 244 */ {"Y M M M", {2, 1, 1, 1}}, {"Y K K K", {2, 3, 3, 3}}, {"K K K C", {3, 3, 3, 0}}, {"K K K M", {3, 3, 3, 1}},
    /* 248 */ {"K K K Y", {3, 3, 3, 2}}, {"K C C C", {3, 0, 0, 0}}, {"K M M M", {3, 1, 1, 1}}, {"K Y Y Y", {3, 2, 2, 2}},
    /* 252 */ {"C C C C", {0, 0, 0, 0}}, {"M M M M", {1, 1, 1, 1}}, {"Y Y Y Y", {2, 2, 2, 2}}, {"K K K K", {3, 3, 3, 3}},
};

struct Table {
  const ChannelOrder* rows;
  int16 count;
  int16 planes;
};

// The 16-bit modes share the tables of their 8-bit counterparts.
constexpr Table TableOf(int16 imageMode) {
  switch (imageMode) {
    case plugInModeRGBColor:
    case plugInModeRGB48:
      return {kRgbOrders, int16(std::size(kRgbOrders)), 3};
    case plugInModeCMYKColor:
    case plugInModeCMYK64:
      return {kCmykOrders, int16(std::size(kCmykOrders)), 4};
    default:
      return {nullptr, 0, 0};
  }
}

// Every row's sources must spell its name: a mistyped row fails the build.
constexpr bool RowsSpellTheirNames(const Table& t, const char* letters) {
  for (int16 i = 0; i < t.count; ++i) {
    const char* name = t.rows[i].name;
    for (int16 k = 0; k < t.planes; ++k) {
      if (name[2 * k] != letters[t.rows[i].source[k]]) return false;
      const char after = name[2 * k + 1];
      if (after != (k + 1 == t.planes ? '\0' : ' ')) return false;
    }
  }
  return true;
}
static_assert(std::size(kRgbOrders) == 24 && std::size(kCmykOrders) == 256);
static_assert(RowsSpellTheirNames(TableOf(plugInModeRGBColor), "RGB"));
static_assert(RowsSpellTheirNames(TableOf(plugInModeCMYKColor), "CMYK"));

}  // namespace

int16 ChannelOrderCount(int16 imageMode) { return TableOf(imageMode).count; }

int16 ChannelOrderPlanes(int16 imageMode) { return TableOf(imageMode).planes; }

const char* ChannelOrderName(int16 imageMode, int16 index) {
  const Table t = TableOf(imageMode);
  if (index < 0 || index >= t.count) return "";
  return t.rows[index].name;
}

int16 ChannelOrderSource(int16 imageMode, int16 index, int16 plane) {
  const Table t = TableOf(imageMode);
  if (index < 0 || index >= t.count || plane < 0 || plane >= t.planes) return -1;
  return t.rows[index].source[plane];
}

namespace {

// The first place of `name` from `at` on that holds no space.
std::string_view::size_type NextLetter(std::string_view name, std::string_view::size_type at) {
  while (at < name.size() && std::isspace(static_cast<unsigned char>(name[at]))) ++at;
  return at;
}

bool SameLetters(std::string_view a, std::string_view b) {
  std::string_view::size_type i = NextLetter(a, 0), j = NextLetter(b, 0);
  for (; i < a.size() && j < b.size(); i = NextLetter(a, i + 1), j = NextLetter(b, j + 1))
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[j]))) return false;
  return i >= a.size() && j >= b.size();
}

}  // namespace

int16 ChannelOrderNamed(int16 imageMode, std::string_view name) {
  const Table t = TableOf(imageMode);
  for (int16 i = 0; i < t.count; ++i)
    if (SameLetters(t.rows[i].name, name)) return i;
  return -1;
}

bool ChannelOrderTakesEachOnce(int16 imageMode, int16 index) {
  const Table t = TableOf(imageMode);
  if (index < 0 || index >= t.count) return false;
  unsigned taken = 0;
  for (int16 k = 0; k < t.planes; ++k) taken |= 1u << t.rows[index].source[k];
  return taken == (1u << t.planes) - 1;
}

}  // namespace vantrel
