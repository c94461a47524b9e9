// show/capture_files.h — what a capture writes: PNG frames, the WAV of the sound, the frame
// table, and the ffmpeg encoder fed through a pipe.
//
// Every writer reports failure by its result and leaves the message (naming the file) in
// `error`; nothing throws. Files carry no time stamps, so equal input gives equal bytes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace show {

inline constexpr int kCaptureWidth = 800, kCaptureHeight = 640;

// Reads the back buffer's 800 x 640 picture (after drawing any batched sprites) as top-down RGB.
void capture_read_back(std::vector<uint8_t>& rgb);

// Writes an 8-bit RGB PNG of `width` x `height` top-down pixels.
bool capture_write_png(const std::string& path, const uint8_t* rgb, int width, int height,
                       std::string& error);

// A 44.1 kHz stereo 16-bit WAV, written as it comes; the sizes are filled in by close().
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

// Whether an executable named `program` is on PATH.
bool capture_program_on_path(const char* program);

// A child process whose standard input is a pipe from us.
class PipedProcess {
 public:
  ~PipedProcess();
  bool start(const std::vector<std::string>& arguments, std::string& error);
  bool write(const void* bytes, size_t size);
  int finish();  // closes the pipe, waits, returns the exit code (-1 when it did not exit normally)

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

// Runs a program to its end with standard input closed; its exit code, -1 on failure.
int capture_run_program(const std::vector<std::string>& arguments);

}  // namespace show
