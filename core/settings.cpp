#include "core/settings.h"

#include <algorithm>
#include <cctype>

namespace vantrel {

std::optional<BlendMethod> BlendMethodNamed(std::string_view name) {
  for (std::size_t i = 0; i < kBlendMethodNames.size(); ++i) {
    const std::string_view known = kBlendMethodNames[i];
    if (known.size() == name.size() && std::equal(known.begin(), known.end(), name.begin(), [](char a, char b) {
          return a == std::tolower(static_cast<unsigned char>(b));
        }))
      return BlendMethod(i);
  }
  return std::nullopt;
}

BlendMethod BlendMethodOf(const FilterParameters& block) {
  if (block.blendEnabled == 0) return BlendMethod::None;
  const bool cross = block.blendCross != 0, mix = block.blendMix != 0;
  return cross && mix ? BlendMethod::Both : cross ? BlendMethod::Cross : mix ? BlendMethod::Mix : BlendMethod::None;
}

void SetBlendMethod(FilterParameters& block, BlendMethod method) {
  block.blendEnabled = method != BlendMethod::None;
  block.blendCross = method == BlendMethod::Cross || method == BlendMethod::Both;
  block.blendMix = method == BlendMethod::Mix || method == BlendMethod::Both;
}

int ClearedChannelOf(const FilterParameters& block) {
  return block.excludeEnabled != 0 ? block.excludedChannel : kNoChannelCleared;
}

void SetClearedChannel(FilterParameters& block, int channel) {
  block.excludeEnabled = channel != kNoChannelCleared;
  if (channel != kNoChannelCleared) block.excludedChannel = int16(channel);
}

void ApplyChoice(FilterParameters& block, const Choice& choice) {
  if (choice.order) block.orderIndex = *choice.order;
  if (choice.blend) SetBlendMethod(block, *choice.blend);
  if (choice.cleared) SetClearedChannel(block, *choice.cleared);
}

int PlanBandRows(int width, int height, std::size_t pixelBytes, std::size_t bandBytes) {
  const std::size_t rowBytes = std::max<std::size_t>(1, std::size_t(std::max(width, 1)) * pixelBytes);
  const int wanted = std::max(2, int(std::min<std::size_t>(bandBytes / rowBytes, kMostSide)) & ~1);
  // Every row of the picture in one band, as far as a request reaches.
  const int whole = std::max(2, std::min(height + height % 2, kMostSide - 1));
  if (wanted >= whole) return whole;
  for (int rows = wanted; rows >= wanted / 2; rows -= 2)
    if (height % rows == 0) return rows;
  return wanted;
}

}  // namespace vantrel
