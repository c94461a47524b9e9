// xmplay FILE.xm — plays a module through the default audio device (or the silent stand-in
// when there is none) with a one-line live status of what is audible: order, row and the
// channel-0 cell. Ctrl+C stops cleanly.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "module/music.h"
#include "module/platform_device.h"
#include "module/playback.h"
#include "runtime/os/os.h"
#include "runtime/platform/platform.h"
#include "tools/xmrender/module_file.h"

namespace {

// "C-4 03" for a cell's note and instrument, "... .." for an empty one.
void describe_cell(int cell, char* text, size_t size) {
  static const char* const kNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                         "F#", "G-", "G#", "A-", "A#", "B-"};
  const int note = cell & 0xFF, instrument = cell >> 8;
  char note_text[4] = "...";
  if (note == 255)
    std::snprintf(note_text, sizeof note_text, "===");
  else if (note >= 1 && note <= 96)
    std::snprintf(note_text, sizeof note_text, "%s%d", kNames[(note - 1) % 12], (note - 1) / 12);
  if (instrument)
    std::snprintf(text, size, "%s %02d", note_text, instrument);
  else
    std::snprintf(text, size, "%s ..", note_text);
}

constexpr char kUsage[] = "usage: xmplay FILE.xm\n       xmplay --help\n";
// --help: the usage and what the tool does (the manual page, xmplay.1, says the same).
constexpr char kHelp[] =
    "  FILE.xm  the module to play, from its start, on the default audio output (without one,\n"
    "           on SDL's silent driver, which keeps real time); Ctrl+C stops\n"
    "  --help   print this help\n"
    "The status line shows what is audible: order position, pattern, row, channel 0's cell.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "xmplay: standard output: cannot write: %s\n", std::strerror(errno));
    return 1;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string path_text = os::utf8_arguments(argc, argv)[1];  // UTF-8 on every system
  const char* path = path_text.c_str();
  std::vector<uint8_t> image;
  std::string reason;
  if (!tool_files::read_module_file(path, image, reason)) {
    std::fprintf(stderr, "xmplay: %s: %s\n", path, reason.c_str());
    return 1;
  }
  if (!music_load_memory(image.data(), int32_t(image.size()))) {
    std::fprintf(stderr, "xmplay: %s: not a module this player can read\n", path);
    return 1;
  }
  music_set_device(platform_music_device());
  if (!music_play()) {
    std::fprintf(stderr, "xmplay: %s: no audio output could be opened (%s)\n", path,
                 platform::last_error().c_str());
    music_free();
    return 1;
  }
  if (platform::audio_silent_fallback())
    std::fprintf(stderr, "xmplay: no sound device (%s); playing silently\n", platform::last_error().c_str());
  os::catch_stop_requests();
  // A closed pipe on standard output fails the write below instead of ending the process.
  os::ignore_broken_pipe();

  const music_module* module = music_current();
  const bool terminal = os::is_terminal(stdout);
  while (!os::stop_request()) {
    char cell[16];
    describe_cell(music_note(0), cell, sizeof cell);
    const int order = music_position();
    std::printf("%sorder %3d/%3d  pattern %3d  row %3d  ch0 %s%s", terminal ? "\r" : "", order,
                module->song_length, module->order_table[order], music_row(), cell, terminal ? "   " : "\n");
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      // The status line is the tool's output: playing on without it would hide the failure.
      const int error = errno;
      music_stop();
      music_free();
      std::fprintf(stderr, "xmplay: standard output: cannot write: %s\n", std::strerror(error));
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(terminal ? 20 : 500));
  }
  std::printf("\n");
  music_stop();
  music_free();
  return 0;
}
