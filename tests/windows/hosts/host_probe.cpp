// A stand-in host application for detection tests: it loads Vantrel.8bf from
// beside itself, lets the filter create its parameter block, and checks what
// the filter decided about this program (hostIsPremiere, and with it the
// classic drive for the 'PrMr' host although advanceState is offered) and what
// the version reader finds in this program's own version block against its
// command line:
//   host_probe <hostIsPremiere> <signature|0> <major> <minor> <fix> <platform>
// Exit code 0 when everything matches, 1 when something differs, 2 when the
// filter cannot be driven.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/parameters.h"
#include "hostinfo/host_detection.h"
#include "runner/filter_loader.h"
#include "runner/host.h"

namespace {

using namespace vantrel;

std::string SignatureText(uint32 signature) {
  if (signature == 0) return "0";
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((signature >> shift) & 0xFF);
  return text;
}

// hostIsPremiere of a new parameter block, or -1 when there is none or when a
// run on a small image did not take the drive that the flag calls for.
int HostIsPremiereAsDecidedByTheFilter() {
  runner::LoadedFilter filter = runner::LoadFilter();
  if (filter.entry == nullptr) {
    std::printf("cannot load the filter: %s\n", filter.error.c_str());
    return -1;
  }
  int decided = -1;
  {
    runner::Host host(filter.entry);
    const int16 result = host.Call(filterSelectorParameters);
    const FilterParameters* parameters = ParametersOf(&host.record());
    if (result != noErr || parameters == nullptr) {
      std::printf("parameters selector answered %d without a parameter block\n", result);
    } else {
      decided = parameters->hostIsPremiere;
      runner::Image image(6, 4, 3);
      host.SetImage(image, plugInModeRGBColor);
      const int16 run = host.RunFilter();
      // The parameters selector brings up the dialog, whose previews are
      // fetched through advanceState too: the drive shows in the continue calls.
      const bool oneBand = host.advanceStateCalls() >= 1 && host.continueCalls() == 0;
      std::printf("run answered %d by the %s drive\n", run, oneBand ? "advanceState" : "classic");
      if (run != noErr || oneBand == (decided != 0)) decided = -1;
    }
  }
  runner::UnloadFilter(filter);
  return decided;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::printf("usage: %s hostIsPremiere signature major minor fix platform\n", argv[0]);
    return 2;
  }
  const int premiere = HostIsPremiereAsDecidedByTheFilter();
  if (premiere < 0) return 2;

  hostinfo::HostIdentity identity{};
  const OSErr err = hostinfo::ReadHostIdentity(&identity);
  const std::string found = std::to_string(premiere) + " " + SignatureText(identity.signature) + " " +
                            std::to_string(identity.majorVersion) + " " + std::to_string(identity.minorVersion) +
                            " " + std::to_string(identity.fixVersion) + " " + std::to_string(identity.platformCode);
  std::string expected = argv[1];
  for (int k = 2; k < argc; ++k) expected += std::string(" ") + argv[k];
  std::printf("hostIsPremiere=%d identity: %s (read result %d)\n", premiere, found.c_str(), err);
  if (err != noErr || found != expected) {
    std::printf("expected: %s\n", expected.c_str());
    return 1;
  }
  return 0;
}
