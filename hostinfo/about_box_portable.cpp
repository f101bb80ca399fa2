// Stand-in for the about box where there is no message box: it records what
// would have been shown.
#include "hostinfo/about_box.h"
#include "hostinfo/about_box_common.h"

namespace vantrel::hostinfo {
namespace {
AboutBoxRecord g_last = {};
}

void ShowAboutBox(const AboutRecord* about, void* /*moduleInstance*/, int16 textId) {
  g_last.calls += 1;
  g_last.ownerWindow = AboutOwnerWindow(about);
  g_last.textId = textId;
  g_last.captionId = static_cast<int16>(textId + 1);
}

AboutBoxRecord LastAboutBox() { return g_last; }

}  // namespace vantrel::hostinfo
