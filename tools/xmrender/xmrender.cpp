// xmrender — renders an XM module through the intro's own chunk renderer.
//
//   xmrender FILE.xm OUT.wav [--seconds N] [--timeline] [--solo 1,3] [--compare REF.txt]
//   xmrender --bench [--seconds N] [--runs R] FILE.xm...
//   xmrender --help
//
// The WAV is 44100 Hz, 16-bit stereo. It is written under a temporary name and renamed at the
// end, so a failed run leaves no partial WAV. --timeline prints "frame order row" for every
// 44-frame chunk (the position recorded after the chunk); --solo renders only the listed
// channels (1-based; the others are still sequenced); --compare reads a reference timeline
// ("frame order row" lines written where the position changes) and reports the chunks whose
// position differs. --bench prints, per module, audio seconds rendered per CPU second
// (best of R runs, the render loop only) and the median over all modules.
//
// Refused with one line naming the path or the option and value: a module that is not a regular
// file (or over 256 MB), an output that exists as anything but a regular file or is the module
// itself, a length a WAV header cannot hold (over about 24,347 s), a --solo channel the module
// does not have, numbers with anything but digits (and one decimal point for --seconds).
// SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary file.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "module/music.h"
#include "runtime/os/os.h"
#include "tools/xmrender/module_file.h"

namespace {

struct Options {
  std::vector<std::string> inputs;
  std::string output;
  std::string compare;
  double seconds = 60.0;
  const char* seconds_text = "60";
  long runs = 3;
  bool timeline = false;
  bool bench = false;
  bool help = false;
  uint32_t solo = 0;  // bit c: channel c audible; 0 = all
  const char* solo_text = "";
};

// The WAV header holds the sizes in 32 bits: the RIFF size (36 + data bytes) must fit, so at
// most 24,403,223 chunks of 44 frames of 4 bytes, about 24,347 s.
constexpr long kMaxWavChunks = long((0xFFFFFFFFull - 36) / (uint64_t(kMusicChunkFrames) * 4));

long chunks_for(double seconds) {
  return long(seconds * kMusicRate / kMusicChunkFrames + 0.5);
}

constexpr char kUsage[] =
    "usage: xmrender FILE.xm OUT.wav [--seconds N] [--timeline] [--solo 1,3] [--compare REF.txt]\n"
    "       xmrender --bench [--seconds N] [--runs R] FILE.xm...\n"
    "       xmrender --help\n";
// --help: the usage and what each option does (the manual page, xmrender.1, says the same).
constexpr char kOptions[] =
    "  --seconds N        length to render (default 60; a WAV file holds at most 24347 s)\n"
    "  --timeline         print 'frame order row' for every chunk of 44 sound frames\n"
    "  --solo 1,3         render only these channels (from 1; the others are still sequenced)\n"
    "  --compare REF.txt  report the chunks whose position differs from a reference timeline\n"
    "  --bench            print each module's audio seconds rendered per CPU second, and the median\n"
    "  --runs R           runs per module for --bench, the best counts (default 3)\n"
    "  --help             print this help\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// Prints why an option's value is refused, then the usage.
bool refuse(const char* option, const char* value, const char* why) {
  std::fprintf(stderr, "xmrender: %s '%s': %s\n", option, value, why);
  return false;
}

// "1,3": channel numbers from 1, separated by single commas.
bool parse_solo(const char* text, uint32_t& mask) {
  std::string item;
  for (const char* p = text;; ++p) {
    if (*p && *p != ',') {
      item += *p;
      continue;
    }
    long channel = 0;
    if (!tool_files::parse_whole(item.c_str(), 1, kMusicMaxChannels, channel)) return false;
    mask |= 1u << (channel - 1);
    item.clear();
    if (!*p) return true;
  }
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool takes_value = a == "--seconds" || a == "--runs" || a == "--solo" || a == "--compare";
    if (takes_value && i + 1 >= argc) {
      std::fprintf(stderr, "xmrender: %s needs a value\n", a.c_str());
      return false;
    }
    if (a == "--seconds") {
      o.seconds_text = argv[++i];
      if (!tool_files::parse_decimal(o.seconds_text, o.seconds) || !(o.seconds > 0.0 && o.seconds < 86400.0))
        return refuse("--seconds", o.seconds_text, "not a number of seconds above 0 and below 86400");
    } else if (a == "--runs") {
      if (!tool_files::parse_whole(argv[++i], 1, 1000, o.runs))
        return refuse("--runs", argv[i], "not a whole number from 1 to 1000");
    } else if (a == "--solo") {
      o.solo_text = argv[++i];
      if (!parse_solo(o.solo_text, o.solo))
        return refuse("--solo", o.solo_text, "not a list of channel numbers from 1 to 32 such as 1,3");
    } else if (a == "--compare") {
      o.compare = argv[++i];
    } else if (a == "--timeline") {
      o.timeline = true;
    } else if (a == "--bench") {
      o.bench = true;
    } else if (a == "--help") {
      o.help = true;
      return true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "xmrender: unknown option '%s'\n", a.c_str());
      return false;
    } else {
      o.inputs.push_back(a);
    }
  }
  if (o.bench) return !o.inputs.empty();
  if (o.inputs.size() != 2) return false;
  o.output = o.inputs[1];
  o.inputs.pop_back();
  if (chunks_for(o.seconds) > kMaxWavChunks)
    return refuse("--seconds", o.seconds_text, "longer than a WAV file can hold (at most 24347 s)");
  return true;
}

// Loads a module file; prints one line naming the file and the reason on failure.
music_module* load_module(const std::string& path, std::vector<uint8_t>& bytes) {
  std::string reason;
  if (!tool_files::read_module_file(path, bytes, reason)) {
    std::fprintf(stderr, "xmrender: %s: %s\n", path.c_str(), reason.c_str());
    return nullptr;
  }
  music_memory_stream_register(bytes.data(), int32_t(bytes.size()));
  const char* why = nullptr;
  music_module* module = music_module_load(music_memory_stream, &why);
  music_memory_stream_register(nullptr, 0);
  if (!module) std::fprintf(stderr, "xmrender: %s: %s\n", path.c_str(), why ? why : "cannot be loaded");
  return module;
}

void put16(std::FILE* f, uint32_t v) {
  const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  std::fwrite(b, 1, 2, f);
}
void put32(std::FILE* f, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  std::fwrite(b, 1, 4, f);
}
void wav_header(std::FILE* f, uint32_t frames) {
  const uint32_t data_bytes = frames * 4;
  std::fwrite("RIFF", 1, 4, f);
  put32(f, 36 + data_bytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  put32(f, 16);
  put16(f, 1);  // PCM
  put16(f, 2);
  put32(f, kMusicRate);
  put32(f, kMusicRate * 4);
  put16(f, 4);
  put16(f, 16);
  std::fwrite("data", 1, 4, f);
  put32(f, data_bytes);
}

// Reference timeline: "frame order row" lines where the position changes.
struct Change {
  long frame;
  int order, row;
};
bool read_timeline(const std::string& path, std::vector<Change>& changes) {
  std::FILE* f = os::open_for_reading(path);
  if (!f) return false;
  Change c;
  while (std::fscanf(f, "%ld %d %d", &c.frame, &c.order, &c.row) == 3) changes.push_back(c);
  std::fclose(f);
  return !changes.empty();
}

// Standard output as written so far: false, with one line on stderr, when a write failed (a
// full disk, a closed pipe), so that a lost timeline or figure is never reported as success.
bool stdout_written() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "xmrender: standard output: cannot write: %s\n", std::strerror(errno));
  return false;
}

int render(const Options& o) {
  const std::string& path = o.inputs[0];
  std::string reason;
  if (!tool_files::output_path_allowed(o.output, path, reason)) {
    std::fprintf(stderr, "xmrender: %s: %s\n", o.output.c_str(), reason.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes;
  music_module* module = load_module(path, bytes);
  if (!module) return 1;
  if (o.solo >> module->channel_count) {
    std::fprintf(stderr, "xmrender: --solo '%s': %s has %d channels\n", o.solo_text, path.c_str(),
                 module->channel_count);
    music_module_free(module);
    return 2;
  }
  std::vector<Change> reference;
  if (!o.compare.empty() && !read_timeline(o.compare, reference)) {
    std::fprintf(stderr, "xmrender: %s: cannot read the reference timeline\n", o.compare.c_str());
    music_module_free(module);
    return 1;
  }
  music_ring* ring = music_ring_create();
  const std::string temporary = o.output + ".part";
  // Ctrl+C, a termination request, a closed terminal or a closed reader of --timeline (as with
  // `| head -1`) during a render: the loop stops, removes the temporary file and then ends the
  // process as the request would have.
  os::catch_stop_requests(/*broken_pipe=*/true);
  // A new regular file (an existing one is emptied), never through a link or onto a device.
  std::FILE* out = ring ? os::create_or_truncate_file(temporary, reason) : nullptr;
  if (!out) {
    std::fprintf(stderr, "xmrender: %s: %s\n", ring ? temporary.c_str() : o.output.c_str(),
                 ring ? reason.c_str() : "out of memory");
    music_ring_free(ring);
    music_module_free(module);
    return 1;
  }
  const long chunks = chunks_for(o.seconds);
  wav_header(out, uint32_t(chunks * kMusicChunkFrames));
  music_start(module);
  if (o.solo) module->muted_channels = ~o.solo;
  const bool progress = os::is_terminal(stderr);
  size_t next_reference = 0;
  int ref_order = -1, ref_row = -1;
  long differing = 0, first_difference = -1;
  char first_text[96] = "";
  for (long c = 0; c < chunks && !os::stop_request(); ++c) {
    const int k = music_render_chunk(module, ring);
    const uint16_t entry = ring->history[k].load();
    const int order = music_history_order(entry), row = music_history_row(entry);
    std::fwrite(ring->wave + 2 * kMusicChunkFrames * k, sizeof(int16_t), 2 * kMusicChunkFrames, out);
    const long frame = c * kMusicChunkFrames;
    if (o.timeline) std::printf("%ld %d %d\n", frame, order, row);
    if (!reference.empty()) {
      while (next_reference < reference.size() && reference[next_reference].frame <= frame) {
        ref_order = reference[next_reference].order;
        ref_row = reference[next_reference].row;
        ++next_reference;
      }
      if (ref_order != order || ref_row != row) {
        if (differing++ == 0) {
          first_difference = frame;
          std::snprintf(first_text, sizeof first_text, "ours %d/%d, reference %d/%d", order, row, ref_order,
                        ref_row);
        }
      }
    }
    if (progress && (c % 500 == 0 || c + 1 == chunks))
      std::fprintf(stderr, "\rorder %3d row %3d  %7.2f s", order, row,
                   double(frame + kMusicChunkFrames) / kMusicRate);
  }
  if (progress) std::fprintf(stderr, "\n");
  const bool written = std::ferror(out) == 0;
  const bool closed = std::fclose(out) == 0;
  music_ring_free(ring);
  music_module_free(module);
  if (const int request = os::stop_request()) {
    os::remove_file(temporary);
    os::end_by_stop_request(request);
  }
  if (!written || !closed) {
    std::fprintf(stderr, "xmrender: %s: cannot write the WAV\n", temporary.c_str());
    os::remove_file(temporary);
    return 1;
  }
  if (o.timeline && !stdout_written()) {
    os::remove_file(temporary);
    return 1;
  }
  if (!os::replace_file(temporary, o.output, reason)) {
    std::fprintf(stderr, "xmrender: %s: cannot rename %s onto it: %s\n", o.output.c_str(), temporary.c_str(),
                 reason.c_str());
    os::remove_file(temporary);
    return 1;
  }
  if (!reference.empty()) {
    // Compare only as far as the reference reaches (60 s).
    std::printf("timeline: %ld of %ld chunks differ", differing, chunks);
    if (differing) std::printf(" (first at frame %ld: %s)", first_difference, first_text);
    std::printf("\n");
  }
  return stdout_written() ? 0 : 1;
}

int bench(const Options& o) {
  std::vector<double> speeds;
  const long chunks = chunks_for(o.seconds);
  const double audio_seconds = double(chunks * kMusicChunkFrames) / kMusicRate;
  music_ring* ring = music_ring_create();
  if (!ring) return 1;
  int status = 0;
  for (const std::string& path : o.inputs) {
    std::vector<uint8_t> bytes;
    music_module* module = load_module(path, bytes);
    if (!module) {
      status = 1;
      continue;
    }
    double best = 1e30;
    for (long run = 0; run < o.runs; ++run) {
      music_start(module);
      const double start = os::process_cpu_seconds();
      for (long c = 0; c < chunks; ++c) music_render_chunk(module, ring);
      best = std::min(best, os::process_cpu_seconds() - start);
    }
    const double speed = audio_seconds / std::max(best, 1e-9);
    speeds.push_back(speed);
    const char* name = std::strrchr(path.c_str(), '/');
#ifdef _WIN32
    if (const char* back = std::strrchr(path.c_str(), '\\'); back && (!name || back > name)) name = back;
#endif
    std::printf("%-44s %3d ch %8.0f x real time\n", name ? name + 1 : path.c_str(), module->channel_count,
                speed);
    std::fflush(stdout);
    music_module_free(module);
  }
  music_ring_free(ring);
  if (!speeds.empty()) {
    std::sort(speeds.begin(), speeds.end());
    const size_t n = speeds.size();
    const double median = n % 2 ? speeds[n / 2] : (speeds[n / 2 - 1] + speeds[n / 2]) / 2;
    std::printf("median %.0f x real time over %zu modules (min %.0f, max %.0f)\n", median, n, speeds.front(),
                speeds.back());
  }
  return stdout_written() ? status : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Paths in the arguments are UTF-8 on every system.
  const std::vector<std::string> arguments = os::utf8_arguments(argc, argv);
  std::vector<char*> pointers;
  for (const std::string& a : arguments) pointers.push_back(const_cast<char*>(a.c_str()));
  pointers.push_back(nullptr);
  Options options;
  if (!parse(argc, pointers.data(), options)) return usage();
  if (options.help) {
    std::fputs(kUsage, stdout);
    std::fputs(kOptions, stdout);
    return stdout_written() ? 0 : 1;
  }
  return options.bench ? bench(options) : render(options);
}
