// The parameter dialog where there is no window system: the controller over a
// recording view, acted on by the user that the program linking the filter
// supplies.
#include "core/collaborators.h"
#include "core/parameters.h"
#include "dialog/portable_user.h"
#include "resources/resource_ids.h"

namespace vantrel::dialog {
namespace {
PortableUser g_user = nullptr;
void* g_context = nullptr;
}  // namespace

void SetPortableUser(PortableUser user, void* context) {
  g_user = user;
  g_context = context;
}

bool ShowParameterDialog(Globals* globals) {
  if (globals == nullptr || BlockOf(globals) == nullptr) return false;
  RecordingView view;
  DialogController controller(view, globals);
  try {
    controller.Initialise();
    SimulatedUser user(controller, view);
    if (g_user != nullptr) g_user(user, g_context);
    if (!controller.ended()) controller.Command(IDC_OK, kClicked);
  } catch (...) {
    // The recording view could not keep what it was shown.
    controller.Abandon();
  }
  return controller.endResult() == 1;
}

}  // namespace vantrel::dialog
