// Writes the page's model.js: the settings model (core/settings.h), the RGB
// order table and what each order is, the result codes in words, and the
// page's protocol with the module (web/page_protocol.h), for the page and
// its workers, so that no number of theirs is copied by hand. Built for
// Node when the page is built, and run there.
#include <cstdio>
#include <string>

#include "core/channel_orders.h"
#include "core/results.h"
#include "core/settings.h"
#include "web/page_protocol.h"

namespace {

using namespace vantrel;

// `text` as a JavaScript string.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return out + "'";
}

template <class Names>
void Numbered(const char* name, const Names& names) {
  std::printf("  %s: Object.freeze({", name);
  for (std::size_t i = 0; i < std::size(names); ++i) std::printf("%s %s: %d", i ? "," : "", names[i].first, names[i].second);
  std::printf(" }),\n");
}

}  // namespace

int main() {
  std::printf("// The page's model, written when the page is built from the C++ headers of\n"
              "// the settings model and the page's protocol (web/tools/page_model.cpp):\n"
              "// every setting, limit, order and code the page and its workers use.\n"
              "self.VantrelModel = Object.freeze({\n");
  std::printf("  orders: Object.freeze([");
  for (int16 i = 0; i < ChannelOrderCount(plugInModeRGBColor); ++i)
    std::printf("%s\n    Object.freeze({ name: %s, takesEachOnce: %s })", i ? "," : "",
                Quoted(ChannelOrderName(plugInModeRGBColor, i)).c_str(),
                ChannelOrderTakesEachOnce(plugInModeRGBColor, i) ? "true" : "false");
  std::printf("\n  ]),\n  channels: %d,\n", ChannelOrderPlanes(plugInModeRGBColor));
  std::printf("  blendMethods: Object.freeze([");
  for (std::size_t i = 0; i < kBlendMethodNames.size(); ++i) std::printf("%s%s", i ? ", " : "", Quoted(kBlendMethodNames[i]).c_str());
  std::printf("]),\n  noChannelCleared: %d,\n", kNoChannelCleared);
  std::printf("  limits: Object.freeze({ mostSide: %d, mostPixels: %lld, bandBytes: %zu, mostToolWidth: %d }),\n",
              kMostSide, static_cast<long long>(kPageMostPixels), kBandBytes, kMostRunsAtOnce * (kMostSide - 1));
  const std::pair<const char*, int> viewOps[] = {
      {"checked", int(web::ViewOp::Checked)}, {"enabled", int(web::ViewOp::Enabled)},
      {"insertRow", int(web::ViewOp::InsertRow)}, {"selectRow", int(web::ViewOp::SelectRow)},
      {"text", int(web::ViewOp::Text)}, {"focus", int(web::ViewOp::Focus)}, {"hand", int(web::ViewOp::Hand)}};
  const std::pair<const char*, int> actions[] = {
      {"ok", int(web::PageAction::Ok)}, {"cancel", int(web::PageAction::Cancel)},
      {"press", int(web::PageAction::Press)}, {"toggle", int(web::PageAction::Toggle)},
      {"pickRow", int(web::PageAction::PickRow)}, {"down", int(web::PageAction::Down)},
      {"move", int(web::PageAction::Move)}, {"up", int(web::PageAction::Up)},
      {"doubleClick", int(web::PageAction::DoubleClick)}};
  const std::pair<const char*, int> fields[] = {
      {"order", int(web::SettingsField::Order)}, {"blend", int(web::SettingsField::Blend)},
      {"cleared", int(web::SettingsField::Cleared)}, {"zoom", int(web::SettingsField::Zoom)}};
  const std::pair<const char*, int> held[] = {{"picture", int(web::Held::Picture)},
                                              {"thumbnail", int(web::Held::Thumbnail)},
                                              {"batch", int(web::Held::Batch)}};
  Numbered("viewOps", viewOps);
  Numbered("pageActions", actions);
  Numbered("settingsFields", fields);
  Numbered("held", held);
  std::printf("  results: Object.freeze({");
  for (int i = 0; i < kResultCodeCount; ++i)
    std::printf("%s\n    %s: Object.freeze({ code: %d, text: %s })", i ? "," : "", kResultCodes[i].name,
                kResultCodes[i].code, Quoted(ResultText(kResultCodes[i].code)).c_str());
  std::printf("\n  }),\n");
  // What a code means for a person, as the tool says it.
  std::printf("  resultText(code) {\n"
              "    const known = Object.values(this.results).find((r) => r.code === code);\n"
              "    return known ? known.text : `result ${code}`;\n"
              "  },\n});\n");
  return 0;
}
