// capture/cli_options.h — the intro's command line.
//
// Without arguments the intro simply runs. The options capture the show to files, benchmark it,
// or print help and version; see cli_usage() for the text. Parsing only reads the arguments:
// it never touches the file system, so a refused command line has written nothing.
#pragma once

#include <string>
#include <vector>

namespace capture {

enum class CliMode { kRun, kHelp, kVersion, kCapture, kBench };

struct CliOptions {
  CliMode mode = CliMode::kRun;
  std::string capture_dir;        // --capture DIR (empty with --video alone)
  std::string video_path;         // --video OUT.mp4
  std::string input_path;         // --input FILE
  double seconds = 0;             // --seconds N; 0 = the mode's default
  bool frames_given = false;      // --frames LIST
  std::vector<int> frame_ranges;  // pairs first, last (both included), in the order given
  bool sync_report = false;       // --sync-report: the live run prints how late the screen is
};

inline constexpr double kCaptureDefaultSeconds = 10.0;
inline constexpr double kBenchDefaultSeconds = 60.0;
inline constexpr double kMaxSeconds = 86400.0;
// The longest capture: its sound (735 stereo 16-bit frames, 2,940 bytes, a picture) must fit
// the WAV header's 32-bit sizes, the data's and the RIFF chunk's 36 bytes more: 1,460,873
// pictures, 24347.88 s.
inline constexpr int kMaxCaptureFrames = int((0xFFFFFFFFull - 36) / (735 * 4));

// False with a one-line `error` (no trailing newline) when the command line is refused.
bool cli_parse(int argc, const char* const* argv, CliOptions& options, std::string& error);
// Frame lists such as "0,600,2400-2410" into (first, last) pairs; false when malformed.
bool cli_parse_frames(const std::string& text, std::vector<int>& ranges);
// Whether frame n is in the list of pairs.
bool cli_frame_listed(const std::vector<int>& ranges, int frame);
const char* cli_usage();

}  // namespace capture
