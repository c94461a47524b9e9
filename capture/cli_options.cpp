// The intro's command line (see cli_options.h).
#include "capture/cli_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/support/number_syntax.h"

namespace capture {
namespace {

bool parse_seconds(const char* text, double& seconds) {
  double value = 0;
  if (!number_syntax::parse_decimal(text, value) || !(value > 0.0) || value > kMaxSeconds) return false;
  seconds = value;
  return true;
}

// A decimal frame number of at most 8 digits.
bool parse_frame(const char*& p, int& frame) {
  int digits = 0;
  int value = 0;
  while (*p >= '0' && *p <= '9') {
    if (++digits > 8) return false;
    value = value * 10 + (*p++ - '0');
  }
  frame = value;
  return digits > 0;
}

}  // namespace

const char* cli_usage() {
  return "usage: quorvane-intro [--sync-report] run the intro (Escape ends it)\n"
         "       quorvane-intro --capture DIR [--seconds N] [--input FILE] [--frames LIST] [--video "
         "OUT.mp4]\n"
         "       quorvane-intro --video OUT.mp4 [--seconds N] [--input FILE]\n"
         "       quorvane-intro --bench [--seconds N] [--input FILE]\n"
         "       quorvane-intro --help | --version\n"
         "  --capture DIR   run the show on a virtual clock (60 frames per second, nothing sleeps) and\n"
         "                  write DIR/frame_NNNNNN.png, DIR/audio.wav and DIR/frames.txt\n"
         "  --seconds N     length of a capture (default 10) or benchmark (default 60)\n"
         "  --input FILE    script the user: lines 'SECONDS key NAME', 'SECONDS type TEXT',\n"
         "                  'SECONDS move X Y'; '#' starts a comment\n"
         "  --frames LIST   write only these frames' pictures, e.g. 0,600,2400-2410\n"
         "  --video OUT.mp4 encode frames and sound with ffmpeg (H.264 + AAC, 60 fps) instead of PNGs\n"
         "  --bench         run on the virtual clock as fast as possible and print frame times\n"
         "  --sync-report   after the live show, print how late the screen was against the sound\n";
}

bool cli_parse_frames(const std::string& text, std::vector<int>& ranges) {
  ranges.clear();
  const char* p = text.c_str();
  while (true) {
    int first = 0, last = 0;
    if (!parse_frame(p, first)) return false;
    last = first;
    if (*p == '-') {
      ++p;
      if (!parse_frame(p, last) || last < first) return false;
    }
    ranges.push_back(first);
    ranges.push_back(last);
    if (*p == '\0') return true;
    if (*p++ != ',') return false;
  }
}

bool cli_frame_listed(const std::vector<int>& ranges, int frame) {
  for (size_t i = 0; i + 1 < ranges.size(); i += 2)
    if (frame >= ranges[i] && frame <= ranges[i + 1]) return true;
  return false;
}

bool cli_parse(int argc, const char* const* argv, CliOptions& o, std::string& error) {
  o = {};
  bool capture = false, bench = false, help = false, version = false, seconds_given = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool takes_value = !std::strcmp(a, "--capture") || !std::strcmp(a, "--seconds") ||
                             !std::strcmp(a, "--input") || !std::strcmp(a, "--frames") ||
                             !std::strcmp(a, "--video");
    // A value never starts with "--": `--capture --help` is a missing folder, not a folder
    // named "--help". (A path that starts with dashes can be given as ./--name.)
    if (takes_value && (i + 1 >= argc || argv[i + 1][0] == '\0' || std::strncmp(argv[i + 1], "--", 2) == 0)) {
      error = std::string("option ") + a + " needs a value";
      return false;
    }
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      help = true;
    } else if (!std::strcmp(a, "--version")) {
      version = true;
    } else if (!std::strcmp(a, "--bench")) {
      bench = true;
    } else if (!std::strcmp(a, "--sync-report")) {
      o.sync_report = true;
    } else if (!std::strcmp(a, "--capture")) {
      capture = true;
      o.capture_dir = argv[++i];
    } else if (!std::strcmp(a, "--video")) {
      o.video_path = argv[++i];
    } else if (!std::strcmp(a, "--input")) {
      o.input_path = argv[++i];
    } else if (!std::strcmp(a, "--seconds")) {
      seconds_given = true;
      if (!parse_seconds(argv[++i], o.seconds)) {
        error = std::string("--seconds needs a number of seconds above 0 and at most 86400, not '") +
                argv[i] + "'";
        return false;
      }
    } else if (!std::strcmp(a, "--frames")) {
      o.frames_given = true;
      if (!cli_parse_frames(argv[++i], o.frame_ranges)) {
        error = std::string("--frames needs frame numbers and ranges such as 0,600,2400-2410, not '") +
                argv[i] + "'";
        return false;
      }
    } else if (a[0] == '-') {
      error = std::string("unknown option '") + a + "'";
      return false;
    } else {
      error = std::string("unexpected argument '") + a + "'";
      return false;
    }
  }

  if (help) {
    o.mode = CliMode::kHelp;
    return true;
  }
  if (version) {
    o.mode = CliMode::kVersion;
    return true;
  }
  const bool captures = capture || !o.video_path.empty();
  if (o.sync_report && (bench || captures)) {
    error = "--sync-report measures the live show; it cannot be combined with --capture, --video or --bench";
    return false;
  }
  if (bench && captures) {
    error = "--bench cannot be combined with --capture or --video";
    return false;
  }
  if (!bench && !captures) {
    if (seconds_given || !o.input_path.empty() || o.frames_given) {
      error = "--seconds, --input and --frames need --capture, --video or --bench";
      return false;
    }
    return true;  // the plain run
  }
  if (o.frames_given && (bench || !o.video_path.empty())) {
    error = "--frames chooses the PNGs of a capture; it cannot be combined with --video or --bench";
    return false;
  }
  o.mode = bench ? CliMode::kBench : CliMode::kCapture;
  if (!seconds_given) o.seconds = bench ? kBenchDefaultSeconds : kCaptureDefaultSeconds;
  // As the capture counts its frames: the nearest whole frame at 60 a second.
  if (!bench && o.seconds * 60 + 0.5 >= double(kMaxCaptureFrames) + 1) {
    char text[160];
    std::snprintf(
        text, sizeof text,
        "--seconds: a capture holds at most %.1f s (its sound file, a WAV, cannot hold more), not %g",
        std::floor(kMaxCaptureFrames / 6.0) / 10.0, o.seconds);
    error = text;
    return false;
  }
  return true;
}

}  // namespace capture
