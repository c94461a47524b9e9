// capture/capture_files.h — what a capture writes: PNG frames, the WAV of the sound and the
// frame table, and the folder they are made in (ffmpeg is fed through os::PipedProcess).
//
// Every writer reports failure by its result and leaves the message (naming the file) in
// `error`; nothing throws. Files carry no time stamps, so equal input gives equal bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "effects/look.h"

namespace capture {

inline constexpr int kCaptureWidth = look::kScreenWidth, kCaptureHeight = look::kScreenHeight;

// Reads the back buffer's 800 x 640 picture (after drawing any batched sprites) as top-down RGB.
void capture_read_back(std::vector<uint8_t>& rgb);

// Creates a new file for writing: fails if anything, a symbolic link included, already has the
// name, so a prepared folder cannot redirect a capture's output onto another file.
std::FILE* capture_create_file(const std::string& path, std::string& error);

// A folder of the run's own, made fresh inside `parent` and named after the process
// (".quorvane-capture-PID-XXXXXX"), where a capture writes every file before it is complete.
// The capture moves the finished files out of it (os::move_together); the destructor then
// removes the folder with whatever it still holds, so a failed run leaves nothing behind.
class StagingFolder {
 public:
  ~StagingFolder() { remove(); }
  bool make(const std::string& parent, std::string& error);
  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // The names of the files in it, sorted.
  bool names(std::vector<std::string>& names, std::string& error) const;
  void remove();
  // Leaves the folder where it is (it holds what could not be put back).
  void keep() { dir_.clear(); }
  // Removes the working folders in `parent` of runs whose process is gone (a run killed
  // before it could clean up); folders of running captures stay. The number removed.
  static int remove_abandoned(const std::string& parent);

 private:
  std::string dir_;
};

// Writes an 8-bit RGB PNG of `width` x `height` top-down pixels into a new file.
bool capture_write_png(const std::string& path, const uint8_t* rgb, int width, int height,
                       std::string& error);

// A 44.1 kHz stereo 16-bit WAV in a new file, written as it comes; the sizes are filled in by
// close().
class WavWriter {
 public:
  ~WavWriter();
  bool open(const std::string& path, std::string& error);
  bool append(const int16_t* pcm, int frames);
  bool close(std::string& error);  // false when any write failed
  // "PATH: cannot write: REASON" after a failed write, with the system's reason.
  const std::string& error() const { return error_; }

 private:
  void fail();
  std::FILE* file_ = nullptr;
  std::string path_, error_;
  uint64_t frames_ = 0;
};

}  // namespace capture
