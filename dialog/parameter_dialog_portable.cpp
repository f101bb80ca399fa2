// The parameter dialog where there is no window system: the controller over
// the view of the backend the host names as its window, or over a view that
// shows nothing.
#include "core/collaborators.h"
#include "core/parameters.h"
#include "dialog/dialog_backend.h"

namespace vantrel::dialog {
namespace {

// Shows nothing; its preview anchor is the template's.
class NullView final : public DialogView {
 public:
  void SetChecked(int, bool) override {}
  void SetEnabled(int, bool) override {}
  void InsertListRow(int, int, const char*) override {}
  void SelectListRow(int, int) override {}
  void SetText(int, const char*) override {}
  void FocusControl(int) override {}
  PixelRect PreviewAnchor() override { return kTemplateAnchor; }
  void InvalidatePreview(const PixelRect&) override {}
  void ShowHandCursor(bool) override {}
  void ConfinePointer(const PixelRect&) override {}
  void ReleasePointer() override {}
  void EndDialog(bool) override {}
};

}  // namespace

bool ShowParameterDialog(Globals* globals) {
  if (globals == nullptr || BlockOf(globals) == nullptr) return false;
  NullView nothing;
  // The host's window: the backend it shows the filter's dialogs through.
  const auto* platform = static_cast<const PlatformData*>(globals->filterRecord->platformData);
  DialogBackend* backend = BackendOfWindow(platform != nullptr ? platform->hwnd : 0);
  DialogController controller(backend != nullptr ? backend->View() : nothing, globals);
  try {
    controller.Initialise();
    if (backend != nullptr) backend->Run(controller);
    controller.Ok();
  } catch (...) {
    // The backend could not keep up with what it was shown.
    controller.Abandon();
  }
  return controller.accepted();
}

}  // namespace vantrel::dialog
