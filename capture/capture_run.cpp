// The capture and benchmark commands (see capture_run.h).
#include "capture/capture_run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_files.h"
#include "capture/virtual_run.h"
#include "effects/objects.h"
#include "runtime/draw/draw.h"
#include "runtime/os/os.h"
#include "runtime/screen/screen.h"
#include "runtime/sprite/sprite.h"

namespace capture {
namespace {

constexpr char kProgram[] = "quorvane-intro";
constexpr size_t kMaxScriptBytes = 1 << 20;

int frames_for(double seconds) {
  return std::max(1, int(seconds * kScriptFramesPerSecond + 0.5));
}

double steady_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Reads and parses the input script; prints the one error line and returns false when refused.
bool load_script(const std::string& path, InputScript& script) {
  if (os::file_kind(path) == os::FileKind::kFolder) {
    std::fprintf(stderr, "%s: %s: the input script is a folder, not a file\n", kProgram, path.c_str());
    return false;
  }
  std::FILE* file = os::open_for_reading(path);
  if (!file) {
    std::fprintf(stderr, "%s: %s: cannot read the input script: %s\n", kProgram, path.c_str(),
                 std::strerror(errno));
    return false;
  }
  std::string text;
  text.resize(kMaxScriptBytes + 1);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  if (text.size() > kMaxScriptBytes) {
    std::fprintf(stderr, "%s: %s: the input script is larger than 1 MB\n", kProgram, path.c_str());
    return false;
  }
  ScriptError error;
  if (!input_script_parse(text, script, error)) {
    std::fprintf(stderr, "%s: %s:%d: %s\n", kProgram, path.c_str(), error.line, error.message.c_str());
    return false;
  }
  return true;
}

bool is_frame_png(const char* name) {
  // frame_NNNNNN.png
  if (std::strlen(name) != 16 || std::strncmp(name, "frame_", 6) != 0 || std::strcmp(name + 12, ".png") != 0)
    return false;
  for (int i = 6; i < 12; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// Creates the folder if needed; false when the name is taken by something that is not a folder.
bool prepare_dir(const std::string& dir, std::string& error) {
  std::string reason;
  if (os::make_folder(dir, reason)) return true;
  error = dir + (reason == "not a folder" ? ": not a folder" : ": cannot create the folder: " + reason);
  return false;
}

// The frame pictures of an earlier capture in the folder that this one does not write: they go
// with this capture's files, so that the folder's pictures agree with its frames.txt and
// audio.wav. Only files (and links) go: a folder of that name is nobody's picture.
std::vector<std::string> other_frames(const std::string& dir, const std::vector<int>& written) {
  std::vector<std::string> names, stale;
  std::string reason;
  if (!os::list_folder(dir, names, reason)) return stale;
  for (const std::string& name : names)
    if (is_frame_png(name.c_str()) &&
        !std::binary_search(written.begin(), written.end(), std::atoi(name.c_str() + 6)) &&
        os::entry_kind(dir + "/" + name) == os::FileKind::kRegular)
      stale.push_back(dir + "/" + name);
  return stale;
}

// An output that exists and is not a file (a device, a pipe, a folder) is refused: moving the
// finished file into place would put a file in its stead (as root, --video /dev/null would
// replace the system's /dev/null). A link is no obstacle: the move replaces the link alone.
// The first such output of the run, or "".
std::string output_not_a_file(const CliOptions& options, int total) {
  std::vector<std::string> outputs;
  if (!options.video_path.empty()) outputs.push_back(options.video_path);
  const std::string& dir = options.capture_dir;
  if (!dir.empty() && os::file_kind(dir) == os::FileKind::kFolder) {
    outputs.push_back(dir + "/audio.wav");
    outputs.push_back(dir + "/frames.txt");
    std::vector<std::string> names;
    std::string reason;
    if (options.video_path.empty() && os::list_folder(dir, names, reason))
      for (const std::string& name : names)
        if (is_frame_png(name.c_str())) {
          const int frame = std::atoi(name.c_str() + 6);
          if (frame < total && (!options.frames_given || cli_frame_listed(options.frame_ranges, frame)))
            outputs.push_back(dir + "/" + name);
        }
  }
  for (const std::string& path : outputs) {
    const os::FileKind kind = os::entry_kind(path);
    if (kind == os::FileKind::kFolder || kind == os::FileKind::kOther) return path;
  }
  return "";
}

// ffmpeg takes any argument that starts with "-" for an option: a relative path is given as
// "./path" so that a file named "-x.mp4" stays a file.
std::string ffmpeg_path(const std::string& path) {
  return !path.empty() && !os::is_absolute(path) ? "./" + path : path;
}

// How long the encoder may go without taking a frame, or take to end, before the capture gives
// up on it.
constexpr int kEncoderTimeoutMs = 10000;

// The encoder's picture size and rate, from the screen's and the frame loop's.
const std::string kVideoSize = std::to_string(kCaptureWidth) + "x" + std::to_string(kCaptureHeight);
const std::string kVideoRate = std::to_string(look::kFramesPerSecond);

// Frames done of the total and an estimate of the time left: in place on a terminal, otherwise
// a line at every tenth.
class Progress {
 public:
  explicit Progress(int total) : total_(total), start_(steady_ms()), terminal_(os::is_terminal(stderr)) {}
  void update(int done) {
    const double now = steady_ms();
    const bool tenth = done * 10 / total_ != (done - 1) * 10 / total_;
    if (terminal_ ? now - last_ < 250 && done != total_ : !tenth) return;
    last_ = now;
    const double left_s = (now - start_) / done * (total_ - done) / 1000.0;
    std::fprintf(stderr, "%s%s: frame %d of %d (%d %%), about %.0f s left%s", terminal_ ? "\r" : "", kProgram,
                 done, total_, done * 100 / total_, left_s, terminal_ ? "   " : "\n");
  }
  void end() {
    if (terminal_) std::fputc('\n', stderr);
  }

 private:
  int total_;
  double start_, last_ = 0;
  bool terminal_;
};

class CaptureObserver : public VirtualRunObserver {
 public:
  CaptureObserver(const CliOptions& options, int total, StagingFolder& staging, const std::string& home)
      : options_(options), progress_(total), staging_(&staging), home_(home) {
    video_ = !options.video_path.empty();
  }

  // Once the show has started, the files are made, and from then on a stop request ends the
  // run after the frame it is drawing. Until then a request ends the process at once, as
  // nothing has been written: a start-up that hangs (a display that does not answer) cannot
  // hold a request back.
  bool started() override {
    // A finished encoder must not end this process through SIGPIPE: its write fails instead.
    os::ignore_broken_pipe();
    os::catch_stop_requests();
    opened_ = true;
    if (!staging_->make(home_, error_) || !open(*staging_, video_ ? staging_->path("video.mp4") : "", error_))
      failed_ = true;
    return !failed_;
  }

  // Ended from outside in the middle of the run (Xlib ends the process when the display's
  // connection is lost): nothing of the run stays.
  void abandon() {
    if (frames_txt_) std::fclose(frames_txt_);
    frames_txt_ = nullptr;
    std::string ignored;
    wav_.close(ignored);
    encoder_.finish(0);
    staging_->remove();
  }

 private:
  // Every file is made in the run's own folder `staging` (see StagingFolder).
  bool open(const StagingFolder& staging, const std::string& video_part, std::string& error) {
    if (!options_.capture_dir.empty()) {
      frames_txt_ = capture_create_file(staging.path("frames.txt"), error);
      if (!frames_txt_) return false;
    }
    const std::string wav_path = staging.path("audio.wav");
    if (!wav_.open(wav_path, error)) return false;
    if (!video_part.empty()) {
      return encoder_.start({"ffmpeg",
                             "-hide_banner",
                             "-loglevel",
                             "error",
                             "-y",
                             "-f",
                             "rawvideo",
                             "-pixel_format",
                             "rgb24",
                             "-video_size",
                             kVideoSize,
                             "-framerate",
                             kVideoRate,
                             "-i",
                             "-",
                             "-an",
                             "-c:v",
                             "libx264",
                             "-preset",
                             "veryfast",
                             "-crf",
                             "18",
                             "-pix_fmt",
                             "yuv420p",
                             "-f",
                             "mp4",
                             ffmpeg_path(video_part)},
                            error);
    }
    return true;
  }

 public:
  void frame_drawn(const VirtualFrame& frame) override {
    if (failed_) return;
    if (video_) {
      capture_read_back(rgb_);
      if (!encoder_.write(rgb_.data(), rgb_.size(), kEncoderTimeoutMs))
        fail("ffmpeg stopped taking frames (it ended, or took none for 10 s)");
      return;
    }
    if (options_.frames_given && !cli_frame_listed(options_.frame_ranges, frame.number)) return;
    capture_read_back(rgb_);
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", frame.number);
    std::string error;
    if (!capture_write_png(staging_->path(name), rgb_.data(), kCaptureWidth, kCaptureHeight, error))
      fail(error);
    else
      pictures.push_back(frame.number);
  }

  bool after_frame(const VirtualFrame& frame) override {
    if (frames_txt_ && std::fprintf(frames_txt_, "%d %u %d %d %d\n", frame.number, frame.clock_ms,
                                    frame.position, frame.row, frame.note) < 0)
      fail(staging_->path("frames.txt") + ": cannot write: " + std::strerror(errno));
    progress_.update(frame.number + 1);
    return !failed_ && os::stop_request() == 0;
  }

  void sound(const int16_t* pcm, int frames) override {
    if (!failed_ && !wav_.append(pcm, frames)) fail(wav_.error());
  }

  // Closes the files and the encoder; false (with the message) when anything failed.
  bool finish(std::string& error) {
    if (!opened_) return true;
    progress_.end();
    std::string wav_error;
    if (!wav_.close(wav_error) && !failed_) fail(wav_error);
    if (frames_txt_ && std::fclose(frames_txt_) != 0 && !failed_)
      fail(staging_->path("frames.txt") + ": cannot write: " + std::strerror(errno));
    frames_txt_ = nullptr;
    if (video_) {
      const int code = encoder_.finish(kEncoderTimeoutMs);
      if (code != 0 && !failed_) fail("ffmpeg failed (exit code " + std::to_string(code) + ")");
    }
    error = error_;
    return !failed_;
  }

  std::vector<int> pictures;  // frame numbers of the pictures written, in order

 private:
  void fail(const std::string& message) {
    if (!failed_) error_ = message;
    failed_ = true;
  }

  const CliOptions& options_;
  Progress progress_;
  StagingFolder* staging_;
  std::string home_;
  bool opened_ = false;
  std::vector<uint8_t> rgb_;
  WavWriter wav_;
  std::FILE* frames_txt_ = nullptr;
  os::PipedProcess encoder_;
  bool video_ = false;
  bool failed_ = false;
  std::string error_;
};

// How long the second pass may take: ffmpeg joined 600 s of sound (encoding it) to its
// pictures in 22 s on the 2-core development machine under load, so half the capture's length
// leaves a margin of ten and more.
int join_timeout_ms(double seconds) {
  return 10000 + int(seconds * 500);
}

// The sound joins the pictures in a second ffmpeg pass: ffmpeg reads its two inputs from one
// thread, so feeding both through pipes at once can stall it waiting on one pipe while we wait
// on the other. A stop request ends the pass (false, with no message).
bool mux_video(const std::string& video_part, const std::string& wav, const std::string& out, double seconds,
               std::string& error) {
  const int timeout_ms = join_timeout_ms(seconds);
  const os::ProgramResult run = os::run_program({"ffmpeg",
                                                 "-hide_banner",
                                                 "-loglevel",
                                                 "error",
                                                 "-y",
                                                 "-i",
                                                 ffmpeg_path(video_part),
                                                 "-i",
                                                 ffmpeg_path(wav),
                                                 "-map",
                                                 "0:v",
                                                 "-map",
                                                 "1:a",
                                                 "-c:v",
                                                 "copy",
                                                 "-c:a",
                                                 "aac",
                                                 "-b:a",
                                                 "192k",
                                                 "-movflags",
                                                 "+faststart",
                                                 "-f",
                                                 "mp4",
                                                 ffmpeg_path(out)},
                                                timeout_ms, /*keep_output=*/false, /*stop_on_request=*/true);
  const int code = run.exit_code;
  if (run.timed_out)
    error = out + ": ffmpeg did not join the pictures and the sound within " +
            std::to_string(timeout_ms / 1000) + " s; it was stopped";
  else if (code != 0 && !run.stopped)
    error =
        out + ": ffmpeg could not join the pictures and the sound (exit code " + std::to_string(code) + ")";
  return code == 0;
}

std::vector<double> sorted(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v;
}
double percentile(const std::vector<double>& sorted_values, double p) {
  if (sorted_values.empty()) return 0;
  const size_t i = size_t(p * double(sorted_values.size() - 1) + 0.5);
  return sorted_values[std::min(i, sorted_values.size() - 1)];
}

// The display calls of the profiled frame (sprite_set_display_recorder takes a plain function).
std::vector<SpriteDisplayCall>* profile_calls = nullptr;
void record_display(const SpriteDisplayCall& call) {
  if (profile_calls) profile_calls->push_back(call);
}

const char* sprite_name(int number) {
  switch (number) {
    case objects::kFontSprite:
      return "font";
    case objects::kBadgeSprite:
      return "badge";
    case objects::kBannerSprite:
      return "banner";
    case objects::kBackdropSprite:
      return "backdrop";
    case objects::kBandSprite:
      return "band";
    case objects::kBandTopSprite:
      return "band top";
    case objects::kScenePictureSprite:
      return "nebula picture";
    case objects::kSceneStripSprite:
      return "nebula strip";
    case objects::kLogoSprite:
      return "logo";
    case objects::kScrollerStripSprite:
      return "scroller strip";
    case objects::kDiscCanvasSprite:
      return "disc canvas";
    case objects::kVeilSprite:
      return "veil";
    default:
      return "other";
  }
}

double median_of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

class BenchObserver : public VirtualRunObserver {
 public:
  struct Sample {
    double wall_ms, cpu_ms;
    bool main_phase;
    double all_cpu_ms;  // every thread's CPU time: the rasteriser's threads too
  };
  // A run of consecutive display calls of one sprite in one texture mode in the profiled frame,
  // with what replaying it costs.
  struct ProfileRow {
    int number = 0;
    bool silhouette = false;
    std::vector<SpriteDisplayCall> calls;
    long long pixels = 0;  // the displays' areas on the screen, overlaps counted each time
    long long quads = 0, draws = 0;
    double ms = 0;
  };
  // The profiled frame: this many main-phase frames in (4 s), or the last one of a shorter run.
  static constexpr int kProfileFrame = 240;

  void before_frame(int) override {
    profiling_ = main_frames_ == kProfileFrame;
    if (profiling_) {
      profile_calls = &frame_calls_;
      sprite_set_display_recorder(record_display);
      counts_before_ = sprite_draw_counts();
    }
    wall_ = steady_ms();
    cpu_ = os::thread_cpu_ms();
    all_cpu_ = process_cpu_ms();
  }
  bool after_frame(const VirtualFrame& frame) override {
    screen_finish();  // count the rasteriser's work in the frame that caused it
    samples.push_back(
        {steady_ms() - wall_, os::thread_cpu_ms() - cpu_, frame.position >= 5, process_cpu_ms() - all_cpu_});
    if (profiling_) {
      sprite_set_display_recorder(nullptr);
      profile_calls = nullptr;
      const SpriteDrawCounts after = sprite_draw_counts();
      profile_frame = int(samples.size()) - 1;
      frame_uploads = after.uploads - counts_before_.uploads;
      frame_uploaded_texels = after.uploaded_texels - counts_before_.uploaded_texels;
      frame_upload_ms = after.upload_ms - counts_before_.upload_ms;
      frame_quads = after.quads - counts_before_.quads;
      frame_draws = after.draws - counts_before_.draws;
      if (frame.position < 5) frame_calls_.clear();
      profiling_ = false;
    }
    if (frame.position >= 5) ++main_frames_;
    if (samples.size() == 1) {
      renderer = screen_renderer();
      driver = platform::video_driver();
    }
    return true;
  }
  // The frame's yardsticks, measured in the same run on the same screen once the show is done
  // (the show's peak memory is read first: the yardsticks' textures are the benchmark's). The
  // plain layer and the frame's fixed cost come from the screen (screen_measure_yardstick);
  // the sprite path's own figure is one full-screen sprite display per glFinish, which counts
  // the finish and everything the sprite path does as one layer. Then the profiled frame's
  // display calls are replayed group by group.
  void finished() override {
    peak_kb = os::peak_memory_kb();
    const ScreenYardstick plain =
        screen_measure_yardstick(kYardstickRounds, kLayersPerFinish, process_cpu_ms);
    plain_layer_ms = plain.layer_ms;
    fixed_ms = plain.fixed_ms;
    plain_layer_cpu_ms = plain.layer_cpu_ms;
    fixed_cpu_ms = plain.fixed_cpu_ms;
    measure_sprite_layer();
    profile();
  }

  static constexpr int kYardstickRounds = 60, kLayersPerFinish = 10;
  double plain_layer_ms = 0, fixed_ms = 0, sprite_layer_ms = 0, plain_layer_cpu_ms = 0, fixed_cpu_ms = 0;
  long peak_kb = 0;  // the show's VmHWM, before the yardsticks
  std::vector<Sample> samples;
  std::string renderer, driver;
  int profile_frame = -1;
  long long frame_uploads = 0, frame_uploaded_texels = 0, frame_quads = 0, frame_draws = 0;
  double frame_upload_ms = 0;
  std::vector<ProfileRow> profile_rows;
  double profile_replay_ms = 0;  // the profiled frame's displays replayed all at once

 private:
  void measure_sprite_layer() {
    constexpr int kYardstickSprite = 999, kRounds = 60;
    if (!sprite_create(kYardstickSprite, look::kScreenWidth, look::kScreenHeight)) return;
    // A row of its own colour each, so that the texture is a whole 800 x 640 sheet: a sheet of
    // one colour would be held as one texel, which the rasteriser samples faster.
    if (draw_start(sprite_output(kYardstickSprite))) {
      for (int y = 0; y < look::kScreenHeight; ++y)
        draw_box(0, y, look::kScreenWidth, 1, uint32_t(y) * 0x010307u + 0x203040u);
      draw_stop();
    }
    sprite_transparent_colour(kYardstickSprite, 0xFF00FF);  // opaque: every pixel is blended
    std::vector<double> times;
    for (int i = 0; i < kRounds; ++i) {
      screen_clear(0);
      screen_finish();
      const double start = steady_ms();
      sprite_display(kYardstickSprite, 0, 0, 128);
      screen_finish();
      times.push_back(steady_ms() - start);
    }
    sprite_free(kYardstickSprite);
    sprite_layer_ms = median_of(times);
  }

  static void replay(const SpriteDisplayCall& c) {
    sprite_clip(c.number, c.clip_x, c.clip_y, c.clip_width, c.clip_height);
    sprite_zoom(c.number, c.width, c.height);
    sprite_display(c.number, c.x, c.y, c.intensity, c.colour);
  }

  // Each group's marginal cost: kLayersPerFinish replays of it per glFinish on a cleared screen,
  // against an empty finish, median of kRounds. The canvases hold what they held at the end of
  // the run, not in the profiled frame.
  void profile() {
    if (frame_calls_.empty()) return;
    for (const SpriteDisplayCall& c : frame_calls_) {
      const bool silhouette = c.colour != -1;
      if (profile_rows.empty() || profile_rows.back().number != c.number ||
          profile_rows.back().silhouette != silhouette) {
        ProfileRow row;
        row.number = c.number;
        row.silhouette = silhouette;
        profile_rows.push_back(row);
      }
      ProfileRow& row = profile_rows.back();
      row.calls.push_back(c);
      const long long w = std::max(0, std::min(c.x + c.width, look::kScreenWidth) - std::max(c.x, 0));
      const long long h = std::max(0, std::min(c.y + c.height, look::kScreenHeight) - std::max(c.y, 0));
      row.pixels += w * h;
    }
    constexpr int kRounds = 15;
    auto timed = [](auto&& draw, int per_finish) {
      std::vector<double> full, empty;
      for (int round = 0; round < kRounds; ++round) {
        screen_clear(0);
        screen_finish();
        double start = steady_ms();
        for (int k = 0; k < per_finish; ++k) draw();
        screen_finish();
        full.push_back(steady_ms() - start);
        start = steady_ms();
        screen_finish();
        empty.push_back(steady_ms() - start);
      }
      return std::max(0.0, (median_of(full) - median_of(empty)) / per_finish);
    };
    for (ProfileRow& row : profile_rows) {
      screen_clear(0);
      const SpriteDrawCounts before = sprite_draw_counts();
      for (const SpriteDisplayCall& c : row.calls) replay(c);
      sprite_flush();
      const SpriteDrawCounts after = sprite_draw_counts();
      row.quads = after.quads - before.quads;
      row.draws = after.draws - before.draws;
      row.ms = timed(
          [&] {
            for (const SpriteDisplayCall& c : row.calls) replay(c);
          },
          kLayersPerFinish);
    }
    profile_replay_ms = timed(
        [&] {
          for (const SpriteDisplayCall& c : frame_calls_) replay(c);
        },
        1);
    screen_clear(0);
  }

  bool profiling_ = false;
  int main_frames_ = 0;
  SpriteDrawCounts counts_before_;
  std::vector<SpriteDisplayCall> frame_calls_;
  static double process_cpu_ms() { return os::process_cpu_seconds() * 1e3; }
  double wall_ = 0, cpu_ = 0, all_cpu_ = 0;
};

// The bare window's figures from gl-baseline, which the build puts beside the intro
// (build/tools/gl-baseline/gl-baseline) and an installation may have on the PATH.
struct Baseline {
  bool ok = false;
  double first_frame_ms = 0, peak_mb = 0;
  std::string error;
};

Baseline run_gl_baseline() {
  Baseline b;
  const std::string self = os::executable_path();
  std::string program = "gl-baseline";
  if (!self.empty()) {
    const std::string beside = os::parent_folder(self) + "/tools/gl-baseline/gl-baseline";
    // program_on_path looks in PATH's folders; the file beside the intro is looked for itself
    // (same_file holds for any existing path).
    if (os::same_file(beside, beside)) program = beside;
  }
  if (program == "gl-baseline" && !os::program_on_path("gl-baseline")) {
    b.error = "gl-baseline is neither beside the intro nor on the PATH";
    return b;
  }
  const os::ProgramResult run = os::run_program({program}, /*timeout_ms=*/60000, /*keep_output=*/true);
  if (run.exit_code < 0 && !run.timed_out && run.output.empty()) {
    b.error = "cannot run gl-baseline";
    return b;
  }
  size_t start = 0;
  while (start < run.output.size()) {
    size_t end = run.output.find('\n', start);
    if (end == std::string::npos) end = run.output.size();
    const std::string line = run.output.substr(start, end - start);
    if (std::sscanf(line.c_str(), "first frame presented %lf ms after main(); peak memory (VmHWM) %lf MB",
                    &b.first_frame_ms, &b.peak_mb) == 2)
      b.ok = true;
    start = end + 1;
  }
  if (!b.ok || run.exit_code != 0) {
    b.ok = false;
    b.error = "gl-baseline did not report its figures";
  }
  return b;
}

void print_row(const char* name, const std::vector<BenchObserver::Sample>& samples, bool main_only) {
  std::vector<double> wall, cpu;
  for (const auto& s : samples)
    if (!main_only || s.main_phase) {
      wall.push_back(s.wall_ms);
      cpu.push_back(s.cpu_ms);
    }
  if (wall.empty()) {
    std::printf("%-22s %6d   (no frame; run longer with --seconds)\n", name, 0);
    return;
  }
  wall = sorted(wall);
  cpu = sorted(cpu);
  std::printf("%-22s %6zu   %7.2f %7.2f %7.2f     %7.2f %7.2f %7.2f\n", name, wall.size(),
              percentile(wall, 0.5), percentile(wall, 0.95), wall.back(), percentile(cpu, 0.5),
              percentile(cpu, 0.95), cpu.back());
}

}  // namespace

namespace {

// The capture under way, for abandon_at_exit.
CaptureObserver* g_running = nullptr;

// A process ended by exit() in the middle of a capture (Xlib does so when the connection to the
// display is lost) leaves nothing of the run.
void abandon_at_exit() {
  if (!g_running) return;
  CaptureObserver* observer = g_running;
  g_running = nullptr;
  observer->abandon();
  std::fprintf(stderr, "%s: capture failed, nothing written: the program was ended during the capture\n",
               kProgram);
}

}  // namespace

int capture_main(const CliOptions& options) {
  InputScript script;
  if (!options.input_path.empty() && !load_script(options.input_path, script)) return 2;
  const bool video = !options.video_path.empty();
  if (video && !os::program_on_path("ffmpeg")) {
    std::fprintf(stderr,
                 "%s: --video needs ffmpeg, which is not installed (or not on PATH); "
                 "capture PNG frames with --capture DIR instead\n",
                 kProgram);
    return 2;
  }
  const int total = frames_for(options.seconds);
  if (options.frames_given) {
    for (size_t i = 0; i < options.frame_ranges.size(); i += 2)
      if (options.frame_ranges[i] >= total) {
        std::fprintf(
            stderr,
            "%s: --frames: frame %d is past the capture's last frame %d (%g s at 60 frames a second)\n",
            kProgram, options.frame_ranges[i], total - 1, options.seconds);
        return 2;
      }
  }
  const std::string occupied = output_not_a_file(options, total);
  if (!occupied.empty()) {
    std::fprintf(stderr, "%s: %s: exists and is not a regular file; a capture only replaces files\n",
                 kProgram, occupied.c_str());
    return 2;
  }
  std::string error;
  if (!options.capture_dir.empty() && !prepare_dir(options.capture_dir, error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return 1;
  }
  if (!virtual_video_start()) {
    std::fprintf(stderr, "%s: no video driver could be started for the capture (%s)\n", kProgram,
                 platform::last_error().c_str());
    return 1;
  }

  // Everything is written in a folder of the run's own inside DIR (or beside OUT), made once the
  // show has started, and moved into place only when complete: a failed run leaves DIR as it
  // was. Folders that killed runs left there go first.
  const std::string home = options.capture_dir.empty() ? os::parent_folder(options.video_path) : options.capture_dir;
  if (const int removed = StagingFolder::remove_abandoned(home))
    std::fprintf(stderr, "%s: removed %d working folder%s of an earlier capture that was ended in %s\n",
                 kProgram, removed, removed == 1 ? "" : "s", home.c_str());
  StagingFolder staging;
  CaptureObserver observer(options, total, staging, home);
  static bool abandon_registered = false;
  if (!abandon_registered) abandon_registered = std::atexit(abandon_at_exit) == 0;
  g_running = &observer;
  VirtualRunOptions run;
  run.max_frames = total;
  run.script = options.input_path.empty() ? nullptr : &script;
  const VirtualRunResult result = virtual_run(run, observer);
  bool ok = observer.finish(error);
  if (ok && !result.started)
    error =
        std::string("the window or its OpenGL screen could not be opened (") + platform::last_error() + ")";
  ok = ok && result.started;
  if (ok && video && os::stop_request() == 0)
    ok = mux_video(staging.path("video.mp4"), staging.path("audio.wav"), staging.path("out.mp4"),
                   options.seconds, error);
  g_running = nullptr;

  // --video keeps nothing of a run that a stop request ended, whatever the encoder did with the
  // request (Ctrl+C reaches the whole process group, and ffmpeg then ends with an error).
  const int stop = os::stop_request();
  if (video && stop != 0) {
    std::fprintf(stderr, "%s: stopped by signal %d (%s) after %d frames; nothing written\n", kProgram, stop,
                 os::stop_request_name(stop), result.frames);
    return 128 + stop;
  }
  if (!ok) {
    std::fprintf(stderr, "%s: capture failed, nothing written: %s\n", kProgram, error.c_str());
    return 1;
  }

  // Every file into place, or none (os::move_together).
  std::vector<std::pair<std::string, std::string>> moves;
  std::vector<std::string> names, stale;
  if (video) moves.push_back({staging.path("out.mp4"), options.video_path});
  if (!options.capture_dir.empty()) {
    if (!staging.names(names, error)) {
      std::fprintf(stderr, "%s: capture failed, nothing written: %s\n", kProgram, error.c_str());
      return 1;
    }
    for (const std::string& name : names)
      if (name != "video.mp4" && name != "out.mp4")
        moves.push_back({staging.path(name), options.capture_dir + "/" + name});
    stale = other_frames(options.capture_dir, observer.pictures);
  }
  const os::MoveResult moved = os::move_together(moves, stale, staging.path("previous"));
  if (!moved.moved) {
    if (moved.restored) {
      std::fprintf(stderr, "%s: capture failed, nothing written (%s is as it was): %s\n", kProgram,
                   home.c_str(), moved.reason.c_str());
    } else {
      std::fprintf(
          stderr,
          "%s: capture failed: %s; %s holds some of this capture's files, and what they replaced is in "
          "%s\n",
          kProgram, moved.reason.c_str(), home.c_str(), staging.path("previous").c_str());
      staging.keep();
    }
    return 1;
  }
  if (!stale.empty())
    std::fprintf(stderr, "%s: removed %zu frame pictures of an earlier capture from %s\n", kProgram,
                 stale.size(), options.capture_dir.c_str());
  if (stop != 0) {
    std::fprintf(stderr,
                 "%s: stopped by signal %d (%s) after %d frames; %s holds those frames and their sound\n",
                 kProgram, stop, os::stop_request_name(stop), result.frames, options.capture_dir.c_str());
    return 128 + stop;
  }
  std::fprintf(stderr, "%s: %d frames (%zu pictures) and %.3f s of sound written to %s%s\n", kProgram,
               result.frames, observer.pictures.size(), result.frames / double(kScriptFramesPerSecond),
               video ? options.video_path.c_str() : options.capture_dir.c_str(),
               result.show_ended ? " (the show ended)" : "");
  return 0;
}

int capture_bench_main(const CliOptions& options, long long process_start) {
  InputScript script;
  if (!options.input_path.empty() && !load_script(options.input_path, script)) return 2;
  if (!virtual_video_start()) {
    std::fprintf(stderr, "%s: no video driver could be started for the benchmark (%s)\n", kProgram,
                 platform::last_error().c_str());
    return 1;
  }
  BenchObserver observer;
  VirtualRunOptions run;
  run.max_frames = frames_for(options.seconds);
  run.script = options.input_path.empty() ? nullptr : &script;
  // The real start-up (window shown, music started on the audio output) so that its time is
  // the one a user waits; the music is then rendered in lockstep with the frames.
  run.startup = {/*play_music=*/true, /*show_window=*/true};
  const double main_entry_ms = double(process_start) / 1e6;
  const double run_start_ms = steady_ms();
  const VirtualRunResult result = virtual_run(run, observer);
  if (!result.started) {
    std::fprintf(stderr, "%s: the window or its OpenGL screen could not be opened (%s)\n", kProgram,
                 platform::last_error().c_str());
    return 1;
  }
  std::printf("%s --bench: %d frames (%.1f s of show), video driver %s, renderer %s\n", kProgram,
              result.frames, result.frames / double(look::kFramesPerSecond), observer.driver.c_str(),
              observer.renderer.c_str());
  // The first picture on the screen is the veil the start-up clears to and flips as its last
  // step; the bare window's figure is its first cleared and presented frame, the same work.
  const double startup_ms = run_start_ms - main_entry_ms + result.startup_ms;
  std::printf(
      "start-up: %.1f ms from main() to the first frame on screen, the veil (start-up itself %.1f ms; "
      "the show's first drawn frame flipped at %.1f ms)\n",
      startup_ms, result.startup_ms, run_start_ms - main_entry_ms + result.first_frame_ms);
  std::printf(
      "per frame, ms           frames   wall median    p95     max   main-thread CPU median  p95     max\n");
  print_row("whole run", observer.samples, false);
  print_row("main phase (order>=5)", observer.samples, true);
  const double peak_mb = double(observer.peak_kb > 0 ? observer.peak_kb : os::peak_memory_kb()) / 1024.0;
  std::printf("peak memory (VmHWM): %.1f MB\n", peak_mb);

  // The yardsticks of this run: the bare window (gl-baseline, run after the show on the same
  // driver) and one full-screen layer on the show's own screen.
  const Baseline bare = run_gl_baseline();
  std::vector<double> main_wall;
  for (const auto& sample : observer.samples)
    if (sample.main_phase) main_wall.push_back(sample.wall_ms);
  main_wall = sorted(main_wall);
  std::printf("against the yardsticks of this run:\n");
  if (bare.ok) {
    std::printf("  start-up     %7.1f ms  bare window %7.1f ms  difference %+7.1f ms\n", startup_ms,
                bare.first_frame_ms, startup_ms - bare.first_frame_ms);
    std::printf("  peak memory  %7.1f MB  bare window %7.1f MB  difference %+7.1f MB\n", peak_mb,
                bare.peak_mb, peak_mb - bare.peak_mb);
  } else {
    std::printf("  start-up and peak memory: no bare-window figures (%s)\n", bare.error.c_str());
  }
  if (observer.plain_layer_ms > 0 && !main_wall.empty()) {
    const double layer = observer.plain_layer_ms;
    std::printf(
        "  plain layer  %7.3f ms  (marginal cost of a full-screen blended textured quad, %d per finish, "
        "median of %d)\n",
        layer, BenchObserver::kLayersPerFinish, BenchObserver::kYardstickRounds);
    std::printf(
        "  fixed cost   %7.3f ms  (a frame with nothing drawn: clear, swap, finish) = %.1f plain layers\n",
        observer.fixed_ms, observer.fixed_ms / layer);
    std::printf("  main-phase frame median %.2f ms = %.1f plain layers, p95 %.2f ms = %.1f plain layers\n",
                percentile(main_wall, 0.5), percentile(main_wall, 0.5) / layer, percentile(main_wall, 0.95),
                percentile(main_wall, 0.95) / layer);
    if (observer.plain_layer_cpu_ms > 0) {
      std::vector<double> main_cpu;
      for (const auto& sample : observer.samples)
        if (sample.main_phase) main_cpu.push_back(sample.all_cpu_ms);
      main_cpu = sorted(main_cpu);
      const double cpu_layer = observer.plain_layer_cpu_ms;
      std::printf(
          "  in CPU time of all threads (the rasteriser's too; steadier than wall time on a shared machine): "
          "plain layer %.3f ms, fixed cost %.3f ms, main-phase frame median %.2f ms = %.1f plain layers, "
          "p95 %.2f ms = %.1f plain layers\n",
          cpu_layer, observer.fixed_cpu_ms, percentile(main_cpu, 0.5), percentile(main_cpu, 0.5) / cpu_layer,
          percentile(main_cpu, 0.95), percentile(main_cpu, 0.95) / cpu_layer);
    }
    if (observer.sprite_layer_ms > 0)
      std::printf(
          "  one full-screen sprite display per finish (the sprite path's own unit, finish included) "
          "%.3f ms = %.1f plain layers; the main-phase frame = %.1f of them\n",
          observer.sprite_layer_ms, observer.sprite_layer_ms / layer,
          percentile(main_wall, 0.5) / observer.sprite_layer_ms);
  } else {
    std::printf("  main-phase frame: no ratio (no main-phase frame; run longer with --seconds)\n");
  }
  if (!observer.profile_rows.empty() && observer.plain_layer_ms > 0) {
    const double layer = observer.plain_layer_ms;
    const auto& frame = observer.samples[size_t(observer.profile_frame)];
    std::printf(
        "profile of main-phase frame %d (%.2f ms wall when drawn): %lld quads in %lld draw calls; "
        "%lld texture uploads of %lld texels in %.2f ms\n",
        observer.profile_frame, frame.wall_ms, observer.frame_quads, observer.frame_draws,
        observer.frame_uploads, observer.frame_uploaded_texels, observer.frame_upload_ms);
    std::printf("  each group replayed %d times per finish on a cleared screen, median of 15:\n",
                BenchObserver::kLayersPerFinish);
    std::printf("  %-15s %-10s %5s %-9s %-11s %9s %6s %5s %8s %6s\n", "sprite", "mode", "calls", "intensity",
                "first at", "pixels", "quads", "draws", "ms", "layers");
    double sum = 0;
    for (const auto& row : observer.profile_rows) {
      int low = 255, high = 0;
      for (const auto& c : row.calls) {
        low = std::min(low, c.intensity);
        high = std::max(high, c.intensity);
      }
      const auto& c = row.calls.front();
      char intensity[16], place[32];
      std::snprintf(intensity, sizeof intensity, low == high ? "%d" : "%d-%d", low, high);
      std::snprintf(place, sizeof place, "%d,%d %dx%d", c.x, c.y, c.width, c.height);
      std::printf("  %-15s %-10s %5zu %-9s %-11s %9lld %6lld %5lld %8.3f %6.2f\n", sprite_name(row.number),
                  row.silhouette ? "silhouette" : "modulate", row.calls.size(), intensity,
                  row.calls.size() == 1 ? place : "", row.pixels, row.quads, row.draws, row.ms,
                  row.ms / layer);
      sum += row.ms;
    }
    std::printf(
        "  sum of the groups %.2f ms = %.1f plain layers; the frame's displays replayed at once "
        "%.2f ms = %.1f plain layers\n",
        sum, sum / layer, observer.profile_replay_ms, observer.profile_replay_ms / layer);
  }
  return 0;
}

}  // namespace capture
