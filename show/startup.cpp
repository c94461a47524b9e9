// The start-up before the first frame and the shutdown after the closing fade.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "assets/music.h"
#include "assets/pictures.h"
#include "effects/frame_pacing.h"
#include "module/music.h"
#include "module/platform_device.h"
#include "module/playback.h"
#include "runtime/image/decoder.h"
#include "runtime/input/input.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite.h"
#include "runtime/support/start_up_heap.h"
#include "runtime/window/window.h"
#include "show/scene.h"
#include "show/show.h"

namespace show {
namespace {

// What the start-up's sprites take from the heap on the main thread: their textures (about
// 6 MB, as most sheets hold only some rows or one texel) and the smaller CPU copies. Copies of
// 1 MB and more are mappings of their own (runtime/support/zeroed_pages.h).
constexpr size_t kStartUpHeapBytes = size_t(8) << 20;

// The start-up's helper threads while they may run. Xlib ends the process with exit() when the
// display's connection is lost, which can happen while the window is made: exit() then runs the
// static destructors (the sprite store's pictures decoded ahead, the player's module) while the
// threads still write into them. join_at_exit, which exit() runs before the destructors of
// everything made before the first start-up, waits for the threads first.
struct StartUpThreads {
  std::thread decoder, music_loader;
  void join() {
    if (decoder.joinable()) decoder.join();
    if (music_loader.joinable()) music_loader.join();
  }
};
StartUpThreads* g_start_up_threads = nullptr;

void join_at_exit() {
  if (StartUpThreads* threads = g_start_up_threads) threads->join();
}

}  // namespace

WindowGeometry window_geometry(int display_width, int display_height) {
  WindowGeometry g;
  g.windowed = {(display_width - kScreenWidth) / 2, (display_height - kScreenHeight) / 2, kScreenWidth,
                kScreenHeight};
  // 80 % of the width, rounded to nearest with ties to even; the full height.
  const int width = int(std::nearbyint(double(display_width) / 1.25));
  g.enlarged = {(display_width - width) / 2, 0, width, display_height};
  return g;
}

bool startup(ShowState& show, const StartupOptions& options) {
  show = ShowState{};
  std::setlocale(LC_ALL, "C");
  clock_ms();  // the show's clock counts from here
  platform::video_start();
  key_hit_once_reset();
  fps_counter_reset();
  platform::process_raise_priority();
  show.opening_level = 255.0f;
  show.tick_latch = 1;
  sprite_start();
  key_start();
  picture::register_png();
  picture::register_jpeg();
  // 64 pixels: large icons overflow some window systems' property requests.
  window_set_default_icon(asset_icon_64, asset_icon_64_size);

  // Decoding the pictures takes about as long as the window and its OpenGL context: a thread
  // decodes them meanwhile (where there are threads), and prepare_assets makes the sprites from
  // them on this thread. The same thread then makes resident the heap pages the sprites will
  // take (runtime/support/start_up_heap.h).
  StartUpHeap heap(kStartUpHeapBytes);
  const auto decode_pictures = [&heap] {
    for (const auto& [data, size] : {std::pair<const void*, size_t>{asset_font_strip, asset_font_strip_size},
                                     {asset_backdrop, asset_backdrop_size},
                                     {asset_scene, asset_scene_size},
                                     {asset_badge, asset_badge_size},
                                     {asset_banner, asset_banner_size}})
      sprite_decode_ahead(data, size);
    heap.touch();
  };
  // Likewise the music: loading the module, rendering its first second of sound and opening
  // the audio device (paused) happen on a thread of their own, and music_play below only starts
  // the device with the sound. Without a sound card, finding the silent stand-in alone takes
  // some 100 ms.
  bool music_loaded = false;
  const auto load_music = [&music_loaded, &options] {
    if (!options.play_music) return;
    music_loaded = music_load_memory(asset_music, int32_t(asset_music_size)) != 0;
    if (!music_loaded) return;
    music_render_ahead();
    platform::audio_prepare();
  };
  static const bool join_registered = std::atexit(join_at_exit) == 0;
  StartUpThreads threads;
  if (platform::threads_available() && join_registered) {
    g_start_up_threads = &threads;
    threads.decoder = std::thread(decode_pictures);
    threads.music_loader = std::thread(load_music);
  } else {
    decode_pictures();
    load_music();
  }

  show.geometry = window_geometry(platform::display_width(), platform::display_height());
  const int window = window_open(0, 0, 0, kScreenWidth, kScreenHeight, kWindowTitle, kWindowFlags);
  const int screen =
      window ? screen_open_windowed(window_handle(0), 0, 0, kScreenWidth, kScreenHeight, 1, 0, 0, 0) : 0;
  threads.join();
  g_start_up_threads = nullptr;
  heap.release();
  if (!window || !screen) {
    music_free();
    if (options.error_box) message_box(u"Error", u"Can't open windowed screen!", 0);
    window_close(-1);
    key_stop();
    platform::video_stop();
    return false;
  }
  window_set_callback(window_drag_callback, 0);
  window_set_topmost(0, 1);

  prepare_assets(show);
  show.frame_timer = frame_timer_new();
  show.frame_timer->operations->set_rate(show.frame_timer, kFramesPerSecond);
  prepare_logo(show);

  // The music starts before the window becomes visible. Without a module or an audio output
  // the show runs silent (its music queries answer 0) and says why on stderr.
  if (options.play_music) {
    music_set_device(platform_music_device());
    if (!music_loaded)
      std::fprintf(stderr, "quorvane-intro: the built-in module cannot be loaded; running silent\n");
    else if (!music_play() || platform::audio_silent_fallback())
      std::fprintf(stderr, "quorvane-intro: no sound output (%s); running silent\n",
                   platform::last_error().c_str());
    // The frames ask where the music is before they are drawn and flipped: the queries answer for
    // the moment the frame reaches the screen, by the time measured on the frames shown so far.
    music_set_lead_ms(kMusicLeadMeasured);
  }

  heap.end();
  if (options.show_window) window_hide(0, 0, 0);
  screen_clear(kVeilColour);
  screen_flip();
  return true;
}

void shutdown(ShowState& show) {
  music_stop();
  music_free();
  release_assets();
  window_close(-1);
  key_stop();
  screen_close();
  platform::video_stop();
  frame_timer_free(show.frame_timer);
  show.frame_timer = nullptr;
}

int run() {
  ShowState& show = *new ShowState;  // lives for the whole run
  // A show that could not open its window ends with 1 after its error message, so that a
  // launcher or script does not take the failure for a show that ran.
  const bool started = startup(show);
  if (started) {
    while (frame(show)) {
    }
    shutdown(show);
  }
  delete &show;
  return started ? 0 : 1;
}

}  // namespace show
