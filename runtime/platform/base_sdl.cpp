// runtime/platform/base_sdl.cpp — the parts of the platform layer on SDL2 that need neither a
// window nor OpenGL: the record of the last failure, the clock, sleeping and thread priority.
//
// They sit apart from platform_sdl.cpp so that a sound-only program (xmplay: audio_sdl.cpp and
// this file, the `platform_audio` library) links SDL alone, not OpenGL and X11 as well.
#include <SDL.h>
#ifdef _WIN32
#include <windows.h>
// (after windows.h, which it needs)
#include <mmsystem.h>  // timeBeginPeriod
#endif

#include <cstdint>
#include <mutex>
#include <string>

#include "runtime/platform/error.h"
#include "runtime/platform/platform.h"

namespace platform {
namespace {

struct ErrorRecord {
  std::mutex lock;  // audio may fail on another thread than the window
  std::string text;
};

ErrorRecord& error_record() {
  static ErrorRecord record;
  return record;
}

}  // namespace

// ---- Errors ----------------------------------------------------------------------------

void remember_error(const char* what) {
  const char* reason = SDL_GetError();
  auto& record = error_record();
  std::lock_guard guard(record.lock);
  record.text = std::string(what) + ": " + (reason && *reason ? reason : "no reason given");
}

void remember_error_text(const std::string& text) {
  auto& record = error_record();
  std::lock_guard guard(record.lock);
  record.text = text;
}

std::string last_error() {
  auto& record = error_record();
  std::lock_guard guard(record.lock);
  return record.text;
}

// ---- Time and threads --------------------------------------------------------------------

uint64_t counter_now() {
  return SDL_GetPerformanceCounter();
}
uint64_t counter_frequency() {
  return SDL_GetPerformanceFrequency();
}
uint32_t tick_count_ms() {
  return SDL_GetTicks();
}
void sleep_ms(int ms) {
#ifdef _WIN32
  // Windows' scheduler ticks every 15.6 ms unless asked otherwise: raise the timer resolution
  // to 1 ms on first use (it stays raised until the process ends), so that the frame timer's
  // sleeps end within a millisecond of their time.
  static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)raised;
#endif
  SDL_Delay(ms > 0 ? Uint32(ms) : 0);
}
uint32_t thread_id() {
  return uint32_t(SDL_ThreadID());
}
#ifdef _WIN32
void process_raise_priority() {
  SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
}
#else
void process_raise_priority() {}  // a desktop process may not raise itself here; nothing to do
#endif
void thread_raise_priority() {
  SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
}

bool threads_available() {
  return true;
}

}  // namespace platform
