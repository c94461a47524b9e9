// Whole captures through the executable: what they write, that a second run writes the same
// bytes, that the frames and sound follow the music as live playback would, and that a scripted
// Escape and bad input end or refuse a capture. Each run is a process of its own (the show and
// the video service are program-wide). Without DISPLAY the captures use SDL's offscreen driver.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "assets/music.h"
#include "module/music.h"
#include "module/playback.h"
#include "show/golden.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out, err;
};

std::string read_text(const fs::path& path) {
  std::ifstream f(path);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Runs the intro with `args` (already quoted for the shell), keeping what it prints.
// ctest runs every test in a process of its own, several at once: each process works in
// folders and files of its own.
std::string process_tag() {
  return std::to_string(getpid());
}

Result run_intro(const std::string& args, const std::string& env = "", int limit_s = 200) {
  const fs::path out = fs::path(::testing::TempDir()) / ("capture_stdout_" + process_tag() + ".txt");
  const fs::path err = fs::path(::testing::TempDir()) / ("capture_stderr_" + process_tag() + ".txt");
  // A hung intro ends after 200 s with exit code 124 and what it printed so far, instead
  // of holding the test until ctest's own timeout, which keeps nothing.
  const std::string command = env + " /usr/bin/timeout --kill-after=10 " + std::to_string(limit_s) +
                              " '" QUORVANE_INTRO "' " + args + " >'" + out.string() + "' 2>'" +
                              err.string() + "'";
  Result r;
  const int status = std::system(command.c_str());
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_text(out);
  r.err = read_text(err);
  return r;
}

fs::path fresh_dir(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("quorvane_" + name + "_" + process_tag());
  fs::remove_all(dir);
  return dir;
}

std::string read_all(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::string> png_names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct FrameLine {
  int number, clock_ms, position, row, note;
};
std::vector<FrameLine> read_frames(const fs::path& dir) {
  std::vector<FrameLine> lines;
  std::ifstream f(dir / "frames.txt");
  FrameLine l;
  while (f >> l.number >> l.clock_ms >> l.position >> l.row >> l.note) lines.push_back(l);
  return lines;
}

// A PNG's pixels as r + 256 g + 65536 b, top-down.
std::vector<uint32_t> read_png(const fs::path& path, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint32_t> pixels;
  if (!png_image_begin_read_from_file(&image, path.string().c_str())) return pixels;
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return pixels;
  width = int(image.width);
  height = int(image.height);
  for (size_t i = 0; i + 3 < rgba.size(); i += 4)
    pixels.push_back(rgba[i] | rgba[i + 1] << 8 | rgba[i + 2] << 16);
  return pixels;
}

// One capture of 2 s shared by the tests that only read it.
class TwoSecondCapture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(fresh_dir("two_seconds"));
    result_ = new Result(run_intro("--capture '" + dir_->string() + "' --seconds 2"));
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete result_;
  }
  void SetUp() override { ASSERT_EQ(result_->code, 0) << result_->err; }
  static fs::path* dir_;
  static Result* result_;
};
fs::path* TwoSecondCapture::dir_ = nullptr;
Result* TwoSecondCapture::result_ = nullptr;

TEST_F(TwoSecondCapture, WritesOneHundredTwentyFramesAndTwoSecondsOfSound) {
  const std::vector<std::string> names = png_names(*dir_);
  ASSERT_EQ(names.size(), 120u);
  EXPECT_EQ(names.front(), "frame_000000.png");
  EXPECT_EQ(names.back(), "frame_000119.png");
  int width = 0, height = 0;
  EXPECT_EQ(read_png(*dir_ / names.back(), width, height).size(), 800u * 640u);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 640);

  const std::string wav = read_all(*dir_ / "audio.wav");
  ASSERT_EQ(wav.size(), 44u + 88200u * 4u);  // 2 s of 16-bit stereo at 44.1 kHz
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  const auto u32 = [&](size_t at) {
    return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 |
           uint32_t(uint8_t(wav[at + 2])) << 16 | uint32_t(uint8_t(wav[at + 3])) << 24;
  };
  EXPECT_EQ(u32(24), 44100u);
  EXPECT_EQ(u32(40), 88200u * 4u);
  EXPECT_NE(result_->err.find("frame 120 of 120"), std::string::npos) << result_->err;
}

TEST_F(TwoSecondCapture, FramesAndSoundFollowTheMusicAsLivePlaybackWould) {
  // Rendered here through the same chunk renderer: frame n hears chunk floor(n * 735 / 44), and
  // reports the position recorded after that chunk; the sound is the chunks in order.
  ASSERT_EQ(music_load_memory(asset_music, int32_t(asset_music_size)), 1);
  music_module* module = music_current();
  music_ring* ring = music_ring_create();
  ASSERT_NE(ring, nullptr);
  music_start(module);
  std::vector<uint16_t> history;
  std::string pcm;
  while (pcm.size() < 88200u * 4u) {
    const int k = music_render_chunk(module, ring);
    history.push_back(ring->history[k].load());
    pcm.append(reinterpret_cast<const char*>(ring->wave + 2 * kMusicChunkFrames * k), kMusicChunkFrames * 4);
  }
  music_ring_free(ring);

  const std::vector<FrameLine> lines = read_frames(*dir_);
  ASSERT_EQ(lines.size(), 120u);
  for (int n = 0; n < 120; ++n) {
    const uint16_t entry = history[size_t(n) * 735 / 44];
    const int order = music_history_order(entry), row = music_history_row(entry);
    const music_pattern& p = module->patterns[module->order_table[order]];
    const music_cell& cell = p.cells[row * module->channel_count];
    EXPECT_EQ(lines[n].number, n);
    EXPECT_EQ(lines[n].clock_ms, n * 1000 / 60) << n;
    EXPECT_EQ(lines[n].position, order) << n;
    EXPECT_EQ(lines[n].row, row) << n;
    EXPECT_EQ(lines[n].note, cell.instrument * 256 + cell.note) << n;
  }
  EXPECT_GT(lines.back().row, 0);  // the music did move on
  music_free();
  EXPECT_TRUE(read_all(*dir_ / "audio.wav").substr(44) == pcm.substr(0, 88200u * 4u));
}

TEST_F(TwoSecondCapture, ASecondRunWritesTheSameBytes) {
  const fs::path again = fresh_dir("two_seconds_again");
  const Result r = run_intro("--capture '" + again.string() + "' --seconds 2");
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<std::string> names = png_names(*dir_);
  names.push_back("audio.wav");
  names.push_back("frames.txt");
  ASSERT_EQ(png_names(again).size(), 120u);
  for (const std::string& name : names) EXPECT_TRUE(read_all(*dir_ / name) == read_all(again / name)) << name;
}

// The first picture of the show is the veil colour: the scene starts under the opening fade at
// full intensity. Until the scene draws its fade the frame is black and this check waits.
TEST_F(TwoSecondCapture, FirstFrameIsAllVeilColour) {
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = read_png(*dir_ / "frame_000000.png", width, height);
  ASSERT_EQ(pixels.size(), 800u * 640u);
  const uint32_t veil = 1 | 11 << 8 | 21 << 16;
  size_t off = 0;
  for (uint32_t p : pixels) off += p != veil;
  EXPECT_EQ(off, 0u) << "pixels of frame 0 that are not the veil colour (1, 11, 21)";
}

TEST(Capture, ScriptedEscapeEndsTheCaptureThreeSecondsLater) {
  const fs::path dir = fresh_dir("escape");
  const fs::path script = fs::path(::testing::TempDir()) / ("escape_" + process_tag() + ".txt");
  std::ofstream(script) << "# the user leaves after a second\n1.0 key Escape\n";
  const Result r = run_intro("--capture '" + dir.string() + "' --seconds 10 --frames 0,235-239 --input '" +
                             script.string() + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  // Escape is seen in frame 60 (1000 ms); frame 240 (4000 ms) ends the show without a picture.
  const std::vector<FrameLine> lines = read_frames(dir);
  ASSERT_EQ(lines.size(), 240u);
  EXPECT_EQ(lines.back().clock_ms, 3983);
  EXPECT_EQ(read_all(dir / "audio.wav").size(), 44u + 240u * 735u * 4u);
  EXPECT_EQ(png_names(dir),
            (std::vector<std::string>{"frame_000000.png", "frame_000235.png", "frame_000236.png",
                                      "frame_000237.png", "frame_000238.png", "frame_000239.png"}));
}

// The closing card covers the show's last frames: its veil reaches full intensity 30 frames
// after Escape.
TEST(Capture, ClosingCardCoversTheLastFrames) {
  const fs::path dir = fresh_dir("closing_card");
  const fs::path script = fs::path(::testing::TempDir()) / ("escape_card_" + process_tag() + ".txt");
  std::ofstream(script) << "1.0 key Escape\n";
  const Result r =
      run_intro("--capture '" + dir.string() + "' --frames 239 --input '" + script.string() + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  int width = 0, height = 0;
  const std::vector<uint32_t> last = read_png(dir / "frame_000239.png", width, height);
  ASSERT_EQ(last.size(), 800u * 640u);
  // At full level the card's veil covers everything but its rules and texts.
  EXPECT_EQ(last[0], uint32_t(1 | 11 << 8 | 21 << 16)) << "top-left pixel of the closing card";
  EXPECT_EQ(last[size_t(150) * 800 + 400], uint32_t(1 | 11 << 8 | 21 << 16)) << "the veil in the middle";
  // At full level the card hides the scene, so the captured frame is the card the show's own
  // golden frame holds: a capture read back mirrored, shifted or in other colours fails here.
  const GoldenResult golden = compare_with_golden("closing_card", width, height, last);
  EXPECT_TRUE(golden.matches) << golden.message;
}

// The random numbers are seeded from the virtual clock: two captures that reach the flash words
// (whose places are drawn at random from 7.8 s on) write the same frames and pictures.
TEST(Capture, TwoRunsPlaceTheFlashWordsAlike) {
  std::vector<fs::path> dirs;
  for (const char* name : {"words_first", "words_second"}) {
    dirs.push_back(fresh_dir(name));
    const Result r = run_intro("--capture '" + dirs.back().string() +
                               "' --seconds 9.5 --frames 470-475,500-505,530-535,560-565");
    ASSERT_EQ(r.code, 0) << r.err;
  }
  const std::vector<std::string> names = png_names(dirs[0]);
  ASSERT_EQ(names.size(), 24u);
  EXPECT_EQ(png_names(dirs[1]), names);
  for (const std::string& name : names)
    EXPECT_TRUE(read_all(dirs[0] / name) == read_all(dirs[1] / name)) << name;
  EXPECT_TRUE(read_all(dirs[0] / "frames.txt") == read_all(dirs[1] / "frames.txt"));
}

// A scripted user who moves the mouse, opens the panel, types the picture's key word and a
// second one, and enlarges the window: the frames keep the pictures a person has looked at.
// Every layer that a frame draws from values it changes in the same frame (the hint drawn
// before it sinks, the page before the flipper moves on, the veil before it lifts, the panel's
// counters) shows here if the frame's order of work changes.
TEST(Capture, ScriptedUserFramesHoldTheirGoldenFrames) {
  const fs::path dir = fresh_dir("scripted_user");
  const fs::path script = fs::path(::testing::TempDir()) / ("user_" + process_tag() + ".txt");
  {
    std::ofstream out(script);
    for (int n = 0; n < 24; ++n) out << (12 + n) / 60.0 << " move " << 100 + 4 * n << " 200\n";
    out << "0.25 key F1\n2.0 key Return\n2.1 type quorvane\n3.0 key Space\n"
           "5.0 key Return\n5.1 type email\n";
  }
  const Result r = run_intro("--capture '" + dir.string() + "' --seconds 9 --frames 16,35,150,506 --input '" +
                             script.string() + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const auto& [frame, golden_name] :
       {std::pair{16, "scripted_veil_panel"}, std::pair{35, "scripted_hint"},
        std::pair{150, "scripted_banner"}, std::pair{506, "scripted_words"}}) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", frame);
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = read_png(dir / name, width, height);
    ASSERT_EQ(pixels.size(), 800u * 640u) << name;
    const GoldenResult golden = compare_with_golden(golden_name, width, height, pixels);
    EXPECT_TRUE(golden.matches) << name << ": " << golden.message;
  }
}

TEST(Capture, BadInputScriptIsRefusedAndNothingIsWritten) {
  const fs::path dir = fresh_dir("bad_script");
  const fs::path script = fs::path(::testing::TempDir()) / ("bad_" + process_tag() + ".txt");
  std::ofstream(script) << "0.5 key Space\n\n2 type hello\n3 press Escape\n";
  const Result r = run_intro("--capture '" + dir.string() + "' --input '" + script.string() + "'");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find(script.filename().string() + ":4: unknown action \"press\""), std::string::npos)
      << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_FALSE(fs::exists(dir));

  const Result missing = run_intro("--capture '" + dir.string() + "' --input /nonexistent/user.txt");
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find("/nonexistent/user.txt: cannot read"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(dir));
}

TEST(CommandLine, HelpVersionAndUnknownOptions) {
  const Result help = run_intro("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: quorvane-intro", 0), 0u) << help.out;
  EXPECT_TRUE(help.err.empty()) << help.err;
  const Result version = run_intro("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "quorvane introduction 2024 1.0.0.0\n");
  const Result unknown = run_intro("--fullscreen");
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(unknown.err.rfind("quorvane-intro: unknown option '--fullscreen'\nusage: ", 0), 0u)
      << unknown.err;
}

TEST(CommandLine, VideoWithoutFfmpegIsRefused) {
  const fs::path out = fs::path(::testing::TempDir()) / ("no_ffmpeg_" + process_tag() + ".mp4");
  const Result r = run_intro("--video '" + out.string() + "' --seconds 1", "PATH=/nonexistent");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("--video needs ffmpeg"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
}

TEST(Capture, VideoHoldsPicturesAndSoundOfTheCapturedLength) {
  if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0)
    GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
  const fs::path out = fs::path(::testing::TempDir()) / ("capture_" + process_tag() + ".mp4");
  fs::remove(out);
  const Result r = run_intro("--video '" + out.string() + "' --seconds 1");
  ASSERT_EQ(r.code, 0) << r.err;
  const fs::path probe = fs::path(::testing::TempDir()) / ("probe_" + process_tag() + ".txt");
  const std::string command =
      "ffprobe -v error -show_entries stream=codec_name,width,height,duration -of csv=p=0 '" + out.string() +
      "' > '" + probe.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string streams = read_all(probe);
  EXPECT_NE(streams.find("h264,800,640,1.000000"), std::string::npos) << streams;
  EXPECT_NE(streams.find("aac,"), std::string::npos) << streams;
  EXPECT_FALSE(fs::exists(out.string() + ".video-part.mp4"));
  EXPECT_FALSE(fs::exists(out.string() + ".audio-part.wav"));
}

// The entries of a folder, hidden ones included (a capture's own working folder is hidden).
std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `intro_args` in the background, sends `signal_name` once the capture's working folder
// in `watch` holds `ready` (and a second later for a sound file), and returns the exit code and
// stderr. With `group` the intro runs in a process group of its own, which gets the signal as
// from Ctrl+C in a terminal; with `target` the signal goes to that process instead.
Result interrupt_intro(const std::string& intro_args, const std::string& signal_name, const fs::path& watch,
                       const std::string& ready, const std::string& env = "", bool group = false,
                       const std::string& target = "") {
  const fs::path err = fs::path(::testing::TempDir()) / ("interrupt_stderr_" + process_tag() + ".txt");
  const fs::path script = fs::path(::testing::TempDir()) / ("interrupt_" + process_tag() + ".sh");
  std::ofstream(script) << (group ? "set -m\n" : "") << env << " '" QUORVANE_INTRO "' " << intro_args
                        << " 2>'" << err.string() << "' &\n"
                        << "pid=$!\n"
                        << "for i in $(seq 600); do\n"
                        << "  ls -d '" << watch.string() << "'/.quorvane-capture-*/" << ready
                        << " >/dev/null 2>&1 && break\n"
                        << "  sleep 0.1\n"
                        << "done\n"
                        << "sleep 1\n"
                        << "kill -" << signal_name << " -- "
                        << (group            ? "-$pid"
                            : target.empty() ? "$pid"
                                             : target)
                        << "\n"
                        << "wait $pid\n";
  const std::string command = "/usr/bin/timeout --kill-after=10 200 bash '" + script.string() + "'";
  Result r;
  const int status = std::system(command.c_str());
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = read_text(err);
  return r;
}

// A WAV whose header agrees with its length: RIFF size = file - 8, data size = file - 44.
void expect_whole_wav(const std::string& wav, size_t sound_frames) {
  ASSERT_GE(wav.size(), 44u);
  auto u32 = [&](size_t at) {
    return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 |
           uint32_t(uint8_t(wav[at + 2])) << 16 | uint32_t(uint8_t(wav[at + 3])) << 24;
  };
  EXPECT_EQ(u32(4), wav.size() - 8);
  EXPECT_EQ(u32(40), wav.size() - 44);
  EXPECT_EQ(wav.size() - 44, sound_frames * 4);
}

// A capture ended by a signal stops after the frame it is drawing, with one line and the
// signal's exit code; the folder then holds that many frames in frames.txt, as many whole
// pictures, and their sound, with a header that says so.
TEST(Capture, ASignalEndsTheCaptureWithFilesThatAgree) {
  const struct {
    const char* name;
    int number;
  } signals[] = {{"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}};
  for (const auto& sig : signals) {
    SCOPED_TRACE(sig.name);
    const fs::path dir = fresh_dir(std::string("signal_") + sig.name);
    fs::create_directories(dir);
    const Result r =
        interrupt_intro("--capture '" + dir.string() + "' --seconds 120", sig.name, dir, "frame_000030.png");
    EXPECT_EQ(r.code, 128 + sig.number) << r.err;
    EXPECT_NE(r.err.find("stopped by signal"), std::string::npos) << r.err;
    const std::vector<FrameLine> lines = read_frames(dir);
    ASSERT_GT(lines.size(), 30u);
    ASSERT_LT(lines.size(), 7200u);
    const std::vector<std::string> pictures = png_names(dir);
    ASSERT_EQ(pictures.size(), lines.size());
    for (const std::string& name : {pictures.front(), pictures.back()}) {
      int width = 0, height = 0;
      EXPECT_EQ(read_png(dir / name, width, height).size(), 800u * 640u) << name;
    }
    expect_whole_wav(read_all(dir / "audio.wav"), lines.size() * 735);
    EXPECT_EQ(entries(dir).size(), lines.size() + 2) << "no working folder is left";
  }
}

// Files in DIR that this run did not make: a failed run leaves them all as they were, and links
// are replaced, never written through.
TEST(Capture, FilesOfOthersAreLeftAloneAndLinksAreNotFollowed) {
  const fs::path dir = fresh_dir("others");
  fs::create_directories(dir);
  const fs::path victim = fs::path(::testing::TempDir()) / ("victim_" + process_tag() + ".txt");
  std::ofstream(victim) << "keep me\n";
  std::ofstream(dir / "frame_000999.png") << "an earlier capture's picture\n";
  for (const char* name : {"audio.wav", "frames.txt", "frame_000000.png"})
    fs::create_symlink(victim, dir / name);

  // No screen: the capture fails after the folder was found, and leaves it untouched.
  const Result failed = run_intro("--capture '" + dir.string() + "' --seconds 1", "SDL_VIDEODRIVER=bogus");
  EXPECT_EQ(failed.code, 1);
  EXPECT_NE(failed.err.find("no video driver could be started for the capture ("), std::string::npos)
      << "the platform's reason is printed: " << failed.err;
  EXPECT_EQ(entries(dir),
            (std::vector<std::string>{"audio.wav", "frame_000000.png", "frame_000999.png", "frames.txt"}));
  EXPECT_TRUE(fs::is_symlink(dir / "audio.wav"));
  EXPECT_EQ(read_all(dir / "frame_000999.png"), "an earlier capture's picture\n");

  // A capture that succeeds replaces the links with its own files; what they pointed at stays.
  const Result ok = run_intro("--capture '" + dir.string() + "' --seconds 0.1");
  ASSERT_EQ(ok.code, 0) << ok.err;
  EXPECT_EQ(read_all(victim), "keep me\n");
  for (const char* name : {"audio.wav", "frames.txt", "frame_000000.png"}) {
    EXPECT_FALSE(fs::is_symlink(dir / name)) << name;
    EXPECT_TRUE(fs::is_regular_file(dir / name)) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "frame_000999.png"))
      << "the earlier capture's pictures go once this one is done";
}

// Misuse refused before anything is written: exit 2, one line.
TEST(Capture, MisuseIsRefusedBeforeAnythingIsWritten) {
  const fs::path dir = fresh_dir("misuse");
  const fs::path folder = fs::path(::testing::TempDir());
  const struct {
    std::string args, message;
  } cases[] = {
      {"--capture '" + dir.string() + "' --input '" + folder.string() + "'", "is a folder, not a file"},
      {"--capture '" + dir.string() + "' --seconds 1 --frames 0,60",
       "frame 60 is past the capture's last frame 59"},
      {"--capture '" + dir.string() + "' --frames 600", "frame 600 is past the capture's last frame 599"},
  };
  for (const auto& c : cases) {
    const Result r = run_intro(c.args);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(fs::exists(dir)) << c.args;
  }
}

// A stand-in encoder on PATH: `body` is its shell script.
fs::path fake_ffmpeg(const std::string& name, const std::string& body) {
  const fs::path bin = fs::path(::testing::TempDir()) / ("fake_ffmpeg_" + name + "_" + process_tag());
  fs::create_directories(bin);
  std::ofstream(bin / "ffmpeg") << "#!/bin/sh\n" << body << "\n";
  fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
  return bin;
}

// --video: an encoder that stops taking frames ends the capture with an error after a bounded
// wait; an encoder that fails, or a signal, leaves no part files beside OUT.
TEST(Capture, VideoLeavesNoPartFilesOnFailureOrSignal) {
  const fs::path place = fresh_dir("video_parts");
  fs::create_directories(place);
  const std::string out = (place / "-x.mp4").string();  // a name ffmpeg would read as an option
  const std::string stalled = "PATH='" + fake_ffmpeg("stalled", "exec sleep 60").string() + ":/usr/bin:/bin'";
  const Result stuck = run_intro("--video '" + out + "' --seconds 2", stalled);
  EXPECT_EQ(stuck.code, 1) << stuck.err;
  EXPECT_NE(stuck.err.find("ffmpeg stopped taking frames"), std::string::npos) << stuck.err;
  EXPECT_TRUE(entries(place).empty()) << "left: " << ::testing::PrintToString(entries(place));

  const std::string reading =
      "PATH='" + fake_ffmpeg("reading", "exec cat >/dev/null").string() + ":/usr/bin:/bin'";
  const Result stopped =
      interrupt_intro("--video '" + out + "' --seconds 120", "TERM", place, "audio.wav", reading);
  EXPECT_EQ(stopped.code, 128 + SIGTERM) << stopped.err;
  EXPECT_NE(stopped.err.find("nothing written"), std::string::npos) << stopped.err;
  EXPECT_TRUE(entries(place).empty()) << "left: " << ::testing::PrintToString(entries(place));
}

}  // namespace

namespace {

// A stand-in encoder: the encoding pass (raw video on standard input) copies its input to its
// last argument, and the join pass runs `join` (a shell command; $last is the output file).
fs::path fake_encoder(const std::string& name, const std::string& join,
                      const std::string& encode = "cat > \"$last\"") {
  return fake_ffmpeg(name,
                     "for a; do last=$a; done\n"
                     "case \" $* \" in\n"
                     "  *\" rawvideo \"*) " +
                         encode +
                         " ;;\n"
                         "  *) " +
                         join +
                         " ;;\n"
                         "esac");
}

std::string on_path(const fs::path& bin) {
  return "PATH='" + bin.string() + ":/usr/bin:/bin'";
}

// An X server of the test's own (Xvfb with `arguments`), ended with the test.
class PrivateXServer {
 public:
  explicit PrivateXServer(const std::string& arguments) {
    const fs::path number = fs::path(::testing::TempDir()) / ("xvfb_display_" + process_tag());
    const fs::path pid = fs::path(::testing::TempDir()) / ("xvfb_pid_" + process_tag());
    fs::remove(number);
    const std::string command = "Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 " + arguments +
                                " 3>'" + number.string() + "' >/dev/null 2>&1 & echo $! >'" + pid.string() +
                                "'";
    if (std::system(command.c_str()) != 0) return;
    pid_ = std::atoi(read_text(pid).c_str());
    for (int i = 0; i < 100 && display_.empty(); ++i) {
      const std::string text = read_text(number);
      if (!text.empty() && text.back() == '\n') display_ = ":" + text.substr(0, text.size() - 1);
      if (display_.empty()) usleep(100000);
    }
  }
  ~PrivateXServer() { end(); }
  void end() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = 0;
  }
  const std::string& display() const { return display_; }
  int pid() const { return pid_; }

 private:
  int pid_ = 0;
  std::string display_;
};

// What a folder holds, as "name" lines with "/" after folders, hidden ones included and those
// of working folders' contents too.
std::string tree(const fs::path& dir) {
  std::vector<std::string> names;
  if (fs::exists(dir))
    for (const auto& entry : fs::recursive_directory_iterator(dir))
      names.push_back(fs::relative(entry.path(), dir).string() +
                      (fs::is_directory(entry.symlink_status()) ? "/" : ""));
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return text;
}

// An output that already exists and is not a regular file (a device, a pipe, a folder) is
// refused before anything is written: a rename would put a file in its place, and as root
// `--video /dev/null` would replace the system's /dev/null.
TEST(Capture, OutputsThatAreNotRegularFilesAreRefused) {
  const fs::path bin = fake_encoder("special", "printf joined > \"$last\"");
  const bool root = geteuid() == 0;
  const struct {
    const char* name;
    const char* make;   // shell command run in the folder to make the entry
    const char* entry;  // the entry, relative to the folder
    bool video;         // --video FOLDER/entry, otherwise --capture FOLDER
  } cases[] = {
      {"video onto a device", "mknod devnode c 1 3", "devnode", true},
      {"video onto a pipe", "mkfifo pipe.mp4", "pipe.mp4", true},
      {"video onto a folder", "mkdir out.mp4", "out.mp4", true},
      {"sound onto a device", "mknod audio.wav c 1 3", "audio.wav", false},
      {"frame table onto a pipe", "mkfifo frames.txt", "frames.txt", false},
      {"a picture onto a folder", "mkdir frame_000002.png", "frame_000002.png", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!root && std::string(c.make).rfind("mknod", 0) == 0) {
      std::printf("skipped '%s': mknod needs root\n", c.name);
      continue;
    }
    const fs::path dir = fresh_dir("special");
    fs::create_directories(dir);
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && " + c.make).c_str()), 0);
    const std::string before = tree(dir);
    const fs::path entry = dir / c.entry;
    const Result r = run_intro(c.video ? "--video '" + entry.string() + "' --seconds 0.1"
                                       : "--capture '" + dir.string() + "' --seconds 0.1",
                               on_path(bin));
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find(entry.string() + ": "), std::string::npos) << "names the entry: " << r.err;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(tree(dir), before) << "the folder is as it was";
    EXPECT_FALSE(fs::is_regular_file(entry));
  }
}

// Without OpenGL on the display (an X server without GLX) the runs that have no person at the
// screen show no error box to wait on: one line, exit 1, nothing written.
TEST(Capture, NoOpenGLEndsTheRunsWithoutAnErrorBox) {
  if (std::system("command -v Xvfb >/dev/null") != 0) GTEST_SKIP() << "Xvfb is not installed";
  PrivateXServer x("-extension GLX");
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  const fs::path bin = fake_encoder("no_glx", "printf joined > \"$last\"");
  const fs::path dir = fresh_dir("no_glx");
  for (const std::string& args :
       {"--capture '" + dir.string() + "' --seconds 1",
        "--video '" + (dir / "out.mp4").string() + "' --seconds 1", std::string("--bench --seconds 1")}) {
    SCOPED_TRACE(args);
    fs::create_directories(dir);
    const Result r = run_intro(args, "DISPLAY=" + x.display() + " SDL_AUDIODRIVER=dummy " + on_path(bin), 30);
    EXPECT_EQ(r.code, 1) << "137 is a run that waited on a box until it was killed: " << r.err;
    EXPECT_NE(r.err.find("could not be opened"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Can't open windowed screen!"), std::string::npos) << "no box: " << r.err;
    EXPECT_EQ(tree(dir), "") << "nothing written";
  }
}

// A stop request or a hanging ffmpeg during --video's second pass (joining the pictures and
// the sound): what is left matches what is said. Ctrl+C reaches the whole process group, the
// encoder included: that is an interruption, not an encoder failure.
TEST(Capture, VideoSecondPassAndCtrlC) {
  const fs::path place = fresh_dir("join");
  fs::create_directories(place);
  const std::string out = (place / "out.mp4").string();
  const fs::path slow_join =
      fake_encoder("slow_join", "printf part > \"$last\"; sleep 4; printf joined > \"$last\"");
  const fs::path hanging_join = fake_encoder("hanging_join", "printf part > \"$last\"; exec sleep 600");
  const fs::path dies_on_int = fake_encoder("dies_on_int", "printf joined > \"$last\"",
                                            "exec 3<&0; trap 'exit 255' INT; cat <&3 > \"$last\" & wait $!");
  const struct {
    const char* name;
    fs::path bin;
    const char* signal;  // "" none, "TERM" to the intro, "-INT" to its process group
    const char* ready;   // sent once the working folder holds this
    int code;
    const char* says;
  } cases[] = {
      {"TERM during the join", slow_join, "TERM", "out.mp4", 128 + SIGTERM, "nothing written"},
      {"INT during the join", slow_join, "INT", "out.mp4", 128 + SIGINT, "nothing written"},
      {"a join that hangs", hanging_join, "", "", 1, "did not join the pictures and the sound within"},
      {"Ctrl+C during the encoding", dies_on_int, "-INT", "video.mp4", 128 + SIGINT, "stopped by signal 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    Result r;
    if (c.signal[0] == '\0') {
      r = run_intro("--video '" + out + "' --seconds 0.5", on_path(c.bin), 60);
    } else {
      const bool group = c.signal[0] == '-';
      r = interrupt_intro("--video '" + out + "' --seconds " + (group ? "120" : "0.5"), c.signal + int(group),
                          place, c.ready, on_path(c.bin), group);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ffmpeg failed"), std::string::npos) << r.err;
    EXPECT_EQ(tree(place), "") << "nothing is left";
    EXPECT_LT(seconds, 40) << "the join pass is bounded";
  }
}

// The X server lost during a capture: Xlib ends the process from its I/O error handler. The
// run's working folder goes with it; and working folders that a killed run left behind (its
// process is gone) are removed by the next capture into the same folder, while those of a run
// still going are left alone.
TEST(Capture, WorkingFoldersDoNotOutliveTheirRun) {
  if (std::system("command -v Xvfb >/dev/null") != 0) GTEST_SKIP() << "Xvfb is not installed";
  const fs::path dir = fresh_dir("x_lost");
  fs::create_directories(dir);
  {
    PrivateXServer x("");
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    const Result r =
        interrupt_intro("--capture '" + dir.string() + "' --seconds 120", "KILL", dir, "frame_000030.png",
                        "DISPLAY=" + x.display(), false, std::to_string(x.pid()));
    EXPECT_NE(r.code, 0) << r.err;
    EXPECT_EQ(r.code == 128 + SIGSEGV ? "" : tree(dir), "") << "exit " << r.code << ": " << r.err;
  }
  // Working folders as a killed run leaves them: one of a process that is gone, one of this
  // (running) process, and one of the old naming, whose process is not known.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const fs::path stale = dir / (".quorvane-capture-" + std::to_string(gone) + "-abcdef");
  const fs::path running = dir / (".quorvane-capture-" + std::to_string(getpid()) + "-ghijkl");
  const fs::path unknown = dir / ".quorvane-capture-mnopqr";
  for (const fs::path& folder : {stale, running, unknown}) {
    fs::create_directories(folder / "previous");
    std::ofstream(folder / "frame_000000.png") << "part";
    std::ofstream(folder / "previous" / "audio.wav") << "part";
  }
  const Result ok = run_intro("--capture '" + dir.string() + "' --seconds 0.1");
  ASSERT_EQ(ok.code, 0) << ok.err;
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(running / "frame_000000.png"));
  EXPECT_TRUE(fs::exists(unknown / "previous" / "audio.wav"));
  fs::remove_all(running);
  fs::remove_all(unknown);
}

// A write error on the sound names the file and the system's reason, as one on a picture does.
TEST(Capture, AFailedSoundWriteNamesTheFileAndTheReason) {
  const fs::path dir = fresh_dir("file_size");
  fs::create_directories(dir);
  // Files of at most 150 KB (300 blocks of 512 bytes): the first picture fits, two seconds of
  // sound (345 KB) do not.
  const Result r =
      run_intro("--capture '" + dir.string() + "' --seconds 2 --frames 0", "trap '' XFSZ; ulimit -f 300;");
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("audio.wav: cannot write: File too large"), std::string::npos) << r.err;
  EXPECT_EQ(tree(dir), "") << "nothing written";
}

}  // namespace
