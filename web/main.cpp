// The web page's program: the page calls quorvane_web_start() on the viewer's click (browsers
// only start sound after a gesture) and again for "watch again". The show then runs one frame
// per animation frame, the music's ring rendered ahead on the same thread, until the closing
// card has faded; the platform layer then tells the page, which offers to watch again.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "capture/virtual_run.h"
#include "module/playback.h"
#include "runtime/platform/platform.h"
#include "runtime/screen/screen.h"
#include "show/show.h"

namespace {

show::ShowState* running = nullptr;

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
  const bool more = show::frame(*running);
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
  platform::frame_loop_run(step, done, nullptr);
  return 1;
}

// The page's end control (for touch screens): Escape, pressed and released, as a key would be.
extern "C" void quorvane_web_end() {
  constexpr int kEscape = 0x01;
  if (!running) return;
  platform::inject_key(kEscape, true);
  platform::inject_key(kEscape, false);
}

namespace {

// The page with ?frame=N: the show on the virtual clock (as the native --capture runs it) up to
// frame N, whose picture stays on the canvas and is kept, top-down RGB, for the page to read.
class StopAtFrame : public capture::VirtualRunObserver {
 public:
  explicit StopAtFrame(int last) : last_(last) {}
  void frame_drawn(const capture::VirtualFrame& frame) override {
    if (frame.number != last_) return;
    picture.resize(size_t(show::kScreenWidth) * show::kScreenHeight * 3);
    screen_read_back_rgb(0, 0, show::kScreenWidth, show::kScreenHeight, picture.data());
  }
  bool after_frame(const capture::VirtualFrame& frame) override { return frame.number < last_; }
  std::vector<uint8_t> picture;

 private:
  int last_;
};
std::vector<uint8_t> virtual_picture;

// The virtual run draws every frame up to the one asked for: the show's first minute (the
// opening and the main phase) is as far as a test needs to look. Frame 2700 took about 200 s in
// headless Chromium's software WebGL on the 2-core development machine; a far frame would hold
// the page for hours. The page refuses later frames with a notice.
constexpr int kLastVirtualFrame = 3600;

}  // namespace

// Runs frames 0..frame on the virtual clock; returns the address of frame `frame`'s picture
// (800 x 640 x 3 bytes, top-down RGB), or 0 for a frame out of range or when the show could
// not start.
extern "C" const uint8_t* quorvane_web_virtual_frame(int frame) {
  if (running || frame < 0 || frame > kLastVirtualFrame || !capture::virtual_video_start()) return nullptr;
  StopAtFrame observer(frame);
  capture::VirtualRunOptions options;
  options.max_frames = frame + 1;
  const capture::VirtualRunResult result = capture::virtual_run(options, observer);
  if (!result.started || observer.picture.empty()) return nullptr;
  virtual_picture = std::move(observer.picture);
  return virtual_picture.data();
}

// Called by the audio node before it takes the next block (runtime/platform/platform_web.cpp).
extern "C" void quorvane_web_pump() {
  if (running) music_pump();
}

int main() {
  return 0;  // nothing before the click
}
