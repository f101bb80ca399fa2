// The parameter dialog where there is no window system: the controller over
// the view of the backend that the program linking the filter supplies, or
// over a view that shows nothing.
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

DialogBackend* g_backend = nullptr;

}  // namespace

void SetDialogBackend(DialogBackend* backend) { g_backend = backend; }

bool ShowParameterDialog(Globals* globals) {
  if (globals == nullptr || BlockOf(globals) == nullptr) return false;
  NullView nothing;
  DialogBackend* backend = g_backend;
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
