// The command line: what each option combination means, and what is refused.
#include "capture/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool parse(std::vector<const char*> args, capture::CliOptions& options, std::string& error) {
  args.insert(args.begin(), "quorvane-intro");
  return capture::cli_parse(int(args.size()), args.data(), options, error);
}

TEST(CommandLine, Modes) {
  struct Case {
    std::vector<const char*> args;
    capture::CliMode mode;
    double seconds;
  };
  for (const Case& c : {
           Case{{}, capture::CliMode::kRun, 0},
           Case{{"--sync-report"}, capture::CliMode::kRun, 0},
           Case{{"--help"}, capture::CliMode::kHelp, 0},
           Case{{"--capture", "out", "--help"}, capture::CliMode::kHelp, 0},
           Case{{"--version"}, capture::CliMode::kVersion, 0},
           Case{{"--capture", "out"}, capture::CliMode::kCapture, 10},
           Case{{"--capture", "out", "--seconds", "2.5"}, capture::CliMode::kCapture, 2.5},
           Case{{"--video", "out.mp4", "--seconds", "3"}, capture::CliMode::kCapture, 3},
           Case{{"--bench"}, capture::CliMode::kBench, 60},
           Case{{"--bench", "--seconds", "5", "--input", "user.txt"}, capture::CliMode::kBench, 5},
           // The longest capture whose sound a WAV header can hold, and a benchmark, which
           // writes no file, of a whole day.
           Case{{"--capture", "out", "--seconds", "24347.8"}, capture::CliMode::kCapture, 24347.8},
           Case{{"--bench", "--seconds", "86400"}, capture::CliMode::kBench, 86400},
       }) {
    capture::CliOptions o;
    std::string error;
    ASSERT_TRUE(parse(c.args, o, error)) << error;
    EXPECT_EQ(o.mode, c.mode);
    EXPECT_DOUBLE_EQ(o.seconds, c.seconds);
  }
}

TEST(CommandLine, RefusedWithOneClearLine) {
  struct Case {
    std::vector<const char*> args;
    const char* says;
  };
  for (const Case& c : {
           Case{{"--fullscreen"}, "unknown option '--fullscreen'"},
           Case{{"extra"}, "unexpected argument 'extra'"},
           Case{{"--capture"}, "option --capture needs a value"},
           Case{{"--capture", "out", "--seconds"}, "option --seconds needs a value"},
           Case{{"--capture", "out", "--seconds", "0"}, "--seconds needs a number"},
           Case{{"--capture", "out", "--seconds", "abc"}, "--seconds needs a number"},
           Case{{"--capture", "out", "--seconds", "nan"}, "--seconds needs a number"},
           Case{{"--capture", "out", "--seconds", "1e9"}, "--seconds needs a number"},
           // One strict decimal syntax, as the tools': no hexadecimal, exponent, sign or blanks.
           Case{{"--capture", "out", "--seconds", "0x0.1p0"}, "--seconds needs a number"},
           Case{{"--capture", "out", "--seconds", "5e-2"}, "--seconds needs a number"},
           Case{{"--capture", "out", "--seconds", "+0.05"}, "--seconds needs a number"},
           Case{{"--capture", "out", "--seconds", " 1"}, "--seconds needs a number"},
           // An option word is never taken as a value.
           Case{{"--capture", "--help"}, "option --capture needs a value"},
           Case{{"--video", "--seconds", "2"}, "option --video needs a value"},
           Case{{"--capture", "out", "--frames", "3-1"}, "--frames needs"},
           Case{{"--capture", "out", "--frames", "1,,2"}, "--frames needs"},
           Case{{"--capture", "out", "--frames", "123456789"}, "--frames needs"},
           Case{{"--seconds", "2"}, "need --capture, --video or --bench"},
           Case{{"--bench", "--capture", "out"}, "cannot be combined"},
           Case{{"--sync-report", "--bench"}, "--sync-report measures the live show"},
           Case{{"--capture", "out", "--sync-report"}, "--sync-report measures the live show"},
           Case{{"--capture", "out", "--video", "v.mp4", "--frames", "1"}, "cannot be combined"},
           // Sound a WAV header cannot hold (4 GB, 24347.8 s at 735 frames of 4 bytes a picture).
           Case{{"--capture", "out", "--seconds", "86400"}, "a capture holds at most 24347.8 s"},
           Case{{"--capture", "out", "--seconds", "24347.9"}, "a capture holds at most 24347.8 s"},
           Case{{"--video", "v.mp4", "--seconds", "30000"}, "a capture holds at most 24347.8 s"},
       }) {
    capture::CliOptions o;
    std::string error;
    EXPECT_FALSE(parse(c.args, o, error)) << c.says;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(CommandLine, FrameLists) {
  std::vector<int> ranges;
  ASSERT_TRUE(capture::cli_parse_frames("0,600,2400-2410", ranges));
  EXPECT_EQ(ranges, (std::vector<int>{0, 0, 600, 600, 2400, 2410}));
  for (int frame : {0, 600, 2400, 2405, 2410}) EXPECT_TRUE(capture::cli_frame_listed(ranges, frame)) << frame;
  for (int frame : {1, 599, 2399, 2411}) EXPECT_FALSE(capture::cli_frame_listed(ranges, frame)) << frame;
  for (const char* bad : {"", ",", "1,", "-3", "a", "1-", "1 2", "5-4"})
    EXPECT_FALSE(capture::cli_parse_frames(bad, ranges)) << bad;
}

}  // namespace
