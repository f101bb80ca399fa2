// The filter's settings as everything around it names them, each once: the
// blend methods, the channel cleared, what a user chooses for a run, and the
// limits of what one run takes. The parameter block stores them in its own
// fields; the dialog's controller, the tool's options, the contact sheet and
// the page (through a module written from this header when the page is
// built) read them from here. The orders are in channel_orders.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/parameters.h"

namespace vantrel {

// ---- Blending with the source.

// As the tool's --blend and the page's blend= name them, in this order.
enum class BlendMethod : int { None, Cross, Mix, Both };
inline constexpr std::array<const char*, 4> kBlendMethodNames = {"none", "cross", "mix", "both"};

inline const char* BlendMethodName(BlendMethod method) { return kBlendMethodNames[std::size_t(method)]; }
// The method named `name` (case aside), or nothing.
std::optional<BlendMethod> BlendMethodNamed(std::string_view name);

// The block stores a method as blending switched on and the Cross and Mix
// flags; with blending off the flags are kept for the dialog but blend
// nothing.
BlendMethod BlendMethodOf(const FilterParameters& block);
void SetBlendMethod(FilterParameters& block, BlendMethod method);

// ---- The channel cleared.

// 0 for none, else the 1-based plane (1 to 3 for RGB, 1 to 4 for CMYK).
inline constexpr int kNoChannelCleared = 0;
int ClearedChannelOf(const FilterParameters& block);
// Clearing switched off keeps the channel the block held, for the dialog.
void SetClearedChannel(FilterParameters& block, int channel);

// ---- What a user chooses for a run: each setting left out keeps the
// block's (the defaults, or a block kept from an earlier run).
struct Choice {
  std::optional<int16> order;  // a row of the table of the picture's mode
  std::optional<BlendMethod> blend;
  std::optional<int> cleared;  // a channel, or kNoChannelCleared
};
void ApplyChoice(FilterParameters& block, const Choice& choice);

// ---- Limits.

// The most pixels a side of the picture one request of the interface reaches:
// its rectangles are 16-bit. Larger pictures go through in tiles (the tool).
inline constexpr int kMostSide = 32767;
// The runs of one load of the filter that may take turns: it tells them
// apart by the last this many data words it handed out. The tool's tiles
// side by side are runs taking turns, so it takes pictures up to this many
// times (kMostSide - 1) pixels wide.
inline constexpr int kMostRunsAtOnce = 8;
// The most pixels a picture the page opens may have: what a browser tab
// holds several times over.
inline constexpr int64_t kPageMostPixels = 100'000'000;
// Bands of about this many bytes of rows: enough that a band's calls cost
// nothing beside its pixels, few enough that reading, filtering and writing
// overlap and little is held.
inline constexpr std::size_t kBandBytes = std::size_t{2} << 20;

// The band height a classic run over a picture `width` by `height` of
// `pixelBytes` a pixel goes in: even, so that every band starts on an even
// row and the Cross checkerboard lies as in one request for the whole
// picture; about `bandBytes` of rows, at least 2, no more than the picture
// needs and a request reaches. A height that divides the picture's is taken
// where one is near: the last band then ends at the picture's edge instead of
// reaching past it, and a host holding the picture serves every band from its
// own memory.
int PlanBandRows(int width, int height, std::size_t pixelBytes, std::size_t bandBytes = kBandBytes);

}  // namespace vantrel
