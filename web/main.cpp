// The web page's program: the page calls quorvane_web_start() on the viewer's click (browsers
// only start sound after a gesture) and again for "watch again". The show then runs one frame
// per animation frame, the music's ring rendered ahead on the same thread, until the closing
// card has faded; the platform layer then tells the page, which offers to watch again.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "module/playback.h"
#include "runtime/platform/platform.h"
#include "show/show.h"

namespace {

show::ShowState* running = nullptr;
show::ShowHooks hooks;

// The page's bench figure: the time each frame's work takes (music, scene, drawing), printed
// to the browser console every 600 frames as the median and 95th percentile.
std::vector<double> frame_ms;

void report_frame_times() {
  std::vector<double> sorted = frame_ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("frame time: median %.2f ms, 95th percentile %.2f ms over %zu frames\n",
              sorted[sorted.size() / 2], sorted[sorted.size() * 95 / 100], sorted.size());
  frame_ms.clear();
}

bool step(void*) {
  const uint64_t start = platform::counter_now();
  music_pump();  // renders the chunks heard since the last frame
  const bool more = show::frame(*running, hooks);
  frame_ms.push_back(double(platform::counter_now() - start) * 1000.0 /
                     double(platform::counter_frequency()));
  if (frame_ms.size() == 600) report_frame_times();
  return more;
}

void done(void*) {
  show::shutdown(*running);
  delete running;
  running = nullptr;
}

}  // namespace

extern "C" int quorvane_web_start() {
  if (running) return 0;  // already playing
  running = new show::ShowState;
  if (!show::startup(*running)) {
    delete running;
    running = nullptr;
    return 0;
  }
  hooks = show::default_hooks();
  platform::frame_loop_run(step, done, nullptr);
  return 1;
}

int main() {
  return 0;  // nothing before the click
}
