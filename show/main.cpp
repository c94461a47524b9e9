// quorvane intro — the program: start-up, the frame loop until Escape, shutdown.
#include "show/show.h"
#include "show/version.h"

// The executable's version record, in a section of its own so that tools can read it
// (readelf -p .quorvane_version quorvane-intro).
[[gnu::used, gnu::section(".quorvane_version")]] static const char kVersionRecord[] = QUORVANE_VERSION_RECORD;

int main() {
  return show::run();
}
