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

// A folder of the run's own, made fresh inside `parent`, where a capture writes every file
// before it is complete. move_into() renames the finished files into the parent (a rename
// replaces a link of the same name instead of writing through it); otherwise the destructor
// removes the folder with everything in it, so a failed run leaves nothing behind.
class StagingFolder {
 public:
  ~StagingFolder();
  bool make(const std::string& parent, std::string& error);
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Moves every file of the folder into `parent` under its own name, then removes the folder.
  bool move_into(const std::string& parent, std::string& error);
  // Moves one file to `destination` (any name on the same file system).
  bool move_file(const std::string& name, const std::string& destination, std::string& error);

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

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  uint64_t frames_ = 0;
  bool failed_ = false;
};

}  // namespace capture
