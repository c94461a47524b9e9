// The show on a virtual clock with lockstep music and a scripted user (see virtual_run.h).
#include "capture/virtual_run.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "assets/music.h"
#include "effects/frame_pacing.h"
#include "module/music.h"
#include "module/playback.h"
#include "runtime/input/input.h"
#include "runtime/random/random.h"
#include "runtime/screen/screen.h"
#include "runtime/window/window.h"

namespace capture {
namespace {

constexpr uint64_t kTicksPerSecond = 60000;  // so that a frame is exactly 1000 ticks
constexpr uint64_t kTicksPerFrame = 1000;
constexpr int kEventMouseMove = 0x0200;

// Everything the clock and keyboard seams and the frame's input read; the seams reach it
// through their context pointer.
struct Run {
  // Clock.
  uint64_t now = 0;    // ticks
  uint64_t limit = 0;  // a sleep never moves the clock past this (the next frame's time)
  int frame = 0;       // frame being run

  // Script.
  const InputScript* script = nullptr;
  size_t next_key = 0, next_move = 0;
  bool move_pending = false;  // at most one move waits, as the window system coalesces them
  char16_t key_text[256] = {};

  // Music.
  music_module* module = nullptr;
  music_ring* ring = nullptr;
  std::vector<uint16_t> history;  // entry after each chunk rendered, from the song's start
  std::vector<int16_t> pending;   // rendered sound not yet handed out (interleaved stereo)
  uint16_t audible = 0;           // history entry of the chunk audible in this frame

  show::ShowState show;
  VirtualRunObserver* observer = nullptr;
  VirtualFrame current;
};

// ---- Clock seam ----------------------------------------------------------------------------

uint64_t clock_now(void* run) {
  return static_cast<Run*>(run)->now;
}
void clock_sleep(void* run, int ms) {
  if (ms <= 0) return;
  Run& r = *static_cast<Run*>(run);
  const uint64_t later = r.now + uint64_t(ms) * (kTicksPerSecond / 1000);
  r.now = later < r.limit ? later : r.limit;
}

// ---- Keyboard seam: a press is down in its frame's sample and up in the next one ----------

bool keyboard_sample(void* run, uint8_t state[256]) {
  std::memset(state, 0, 256);
  Run& r = *static_cast<Run*>(run);
  if (!r.script) return true;
  for (size_t i = r.next_key; i < r.script->keys.size() && r.script->keys[i].frame <= r.frame; ++i) {
    const ScriptKeyPress& press = r.script->keys[i];
    if (press.frame < r.frame) continue;
    state[press.scan_code] = 0x80;
    r.key_text[press.scan_code] = press.text;
  }
  return true;
}
std::u16string keyboard_typed_text(void* run, int scan_code) {
  const Run& r = *static_cast<Run*>(run);
  if (scan_code < 0 || scan_code > 255 || !r.key_text[scan_code]) return {};
  return std::u16string(1, r.key_text[scan_code]);
}

void advance_script(Run& r) {
  if (!r.script) return;
  while (r.next_key < r.script->keys.size() && r.script->keys[r.next_key].frame < r.frame) ++r.next_key;
  while (r.next_move < r.script->moves.size() && r.script->moves[r.next_move].frame <= r.frame) {
    r.move_pending = true;
    ++r.next_move;
  }
}

// ---- Music in lockstep ------------------------------------------------------------------

void render_chunk(Run& r) {
  const int k = music_render_chunk(r.module, r.ring);
  if (k < 0) {  // no module: silence, and every query answers 0
    r.history.push_back(0);
    r.pending.insert(r.pending.end(), size_t(2) * kMusicChunkFrames, 0);
    return;
  }
  r.history.push_back(r.ring->history[k].load(std::memory_order_relaxed));
  const int16_t* wave = r.ring->wave + size_t(2) * kMusicChunkFrames * k;
  r.pending.insert(r.pending.end(), wave, wave + 2 * kMusicChunkFrames);
}

// The chunk audible at frame n: floor(n * 735 / 44) chunks since the song's start.
void music_for_frame(Run& r, int n) {
  const size_t chunk = size_t(int64_t(n) * kVirtualAudioFramesPerFrame / kMusicChunkFrames);
  while (r.history.size() <= chunk) render_chunk(r);
  r.audible = r.history[chunk];
}

// Hands out the sound of the frame just drawn.
void sound_for_frame(Run& r) {
  while (r.pending.size() < size_t(2) * kVirtualAudioFramesPerFrame) render_chunk(r);
  r.observer->sound(r.pending.data(), kVirtualAudioFramesPerFrame);
  r.pending.erase(r.pending.begin(), r.pending.begin() + 2 * kVirtualAudioFramesPerFrame);
}

int music_note_of(const Run& r, uint16_t entry, int channel) {
  return music_cell_note(r.module, music_history_order(entry), music_history_row(entry), channel);
}

// ---- The frame's input ---------------------------------------------------------------------

// The display's own messages (focus, exposure, a real mouse) must not change a run: they are
// taken and dropped, and only the script's mouse moves reach the show.
uint32_t window_event_of(Run& r) {
  platform::Message message;
  while (platform::message_take(&message)) {
  }
  if (!r.move_pending) return 0;
  r.move_pending = false;
  return kEventMouseMove;
}

show::FrameInput input_of(Run& r) {
  show::FrameInput input;
  input.clock_ms = clock_ms();
  input.window_event = window_event_of(r);
  if (r.module) {
    input.position = music_history_order(r.audible);
    input.row = music_history_row(r.audible);
    input.channel0_note = music_note_of(r, r.audible, 0);
  }
  return input;
}

double ms_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool virtual_video_start() {
  return platform::video_start(/*allow_offscreen=*/true);
}

VirtualRunResult virtual_run(const VirtualRunOptions& options, VirtualRunObserver& observer) {
  VirtualRunResult result;
  auto owned = std::make_unique<Run>();
  Run& r = *owned;
  r.script = options.script;
  r.observer = &observer;
  const ClockSource clock = {clock_now, kTicksPerSecond, clock_sleep, &r};
  const KeyboardSource keyboard = {keyboard_sample, keyboard_typed_text, &r};
  clock_use_source(&clock);
  key_use_source(&keyboard);

  const auto start = std::chrono::steady_clock::now();
  show::StartupOptions startup = options.startup;
  startup.error_box = false;
  if (show::startup(r.show, startup)) {
    result.started = true;
    screen_finish();  // the veil the start-up flipped is on the screen
    result.startup_ms = ms_since(start);
    // The module the start-up may have started live is taken over here and played from its start.
    music_stop();
    if (!music_current()) music_load_memory(asset_music, int32_t(asset_music_size));
    r.module = music_current();
    r.ring = r.module ? music_ring_create() : nullptr;
    if (!r.ring) r.module = nullptr;
    if (r.module) music_start(r.module);
    // The generator is seeded from the clock, here the virtual one: every run draws alike.
    random_seed(clock_ms());

    const bool ready = observer.started();
    result.stopped = !ready;
    for (int n = 0; ready && n < options.max_frames; ++n) {
      r.frame = n;
      r.now = uint64_t(n) * kTicksPerFrame;
      r.limit = r.now + kTicksPerFrame;
      advance_script(r);
      music_for_frame(r, n);
      r.current = {};
      r.current.number = n;
      r.current.clock_ms = clock_ms();
      observer.before_frame(n);
      // The window's requests are not carried out: the picture stays 800 x 640, as the show
      // draws the same logical screen at either size, and nothing drags a hidden window.
      show::FrameRequests requests;
      if (!show::advance(r.show, input_of(r), requests)) {
        result.show_ended = true;
        break;
      }
      show::paint(r.show);
      r.current.position = r.show.position;
      r.current.row = r.show.row;
      r.current.note = r.show.channel0_note;
      observer.frame_drawn(r.current);
      screen_flip();
      r.show.delay = frame_timer_wait(r.show.frame_timer);  // moves the virtual clock to the next slot
      if (n == 0) result.first_frame_ms = ms_since(start);
      result.frames = n + 1;
      const bool go_on = observer.after_frame(r.current);
      sound_for_frame(r);
      if (!go_on) {
        result.stopped = true;
        break;
      }
    }
    observer.finished();
    music_ring_free(r.ring);
    r.ring = nullptr;
    show::shutdown(r.show);
  }
  key_use_source(nullptr);
  clock_use_source(nullptr);
  return result;
}

}  // namespace capture
