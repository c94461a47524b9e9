// PNG, WAV and encoder output of a capture (see capture_files.h).
#include "capture/capture_files.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>

#include "runtime/os/os.h"
#include "runtime/screen/screen.h"

namespace capture {
namespace {

void put_u16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put_u32(uint8_t* p, uint32_t v) {
  put_u16(p, v & 0xFFFF);
  put_u16(p + 2, v >> 16);
}

// The 44-byte canonical header of 16-bit stereo PCM at 44100 Hz.
void wav_header(uint8_t h[44], uint64_t frames) {
  const uint64_t data = frames * 4;
  const uint32_t data32 = data > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : uint32_t(data);
  std::memcpy(h, "RIFF", 4);
  put_u32(h + 4, 36 + data32);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_u32(h + 16, 16);
  put_u16(h + 20, 1);  // PCM
  put_u16(h + 22, 2);
  put_u32(h + 24, 44100);
  put_u32(h + 28, 44100 * 4);
  put_u16(h + 32, 4);
  put_u16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put_u32(h + 40, data32);
}

struct PngFailure {
  std::jmp_buf jump;
  char message[160] = {};
};

void png_fail(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  std::longjmp(failure->jump, 1);
}
void png_warn(png_structp, png_const_charp) {}

}  // namespace

void capture_read_back(std::vector<uint8_t>& rgb) {
  rgb.resize(size_t(kCaptureWidth) * kCaptureHeight * 3);
  screen_read_back_rgb(0, 0, kCaptureWidth, kCaptureHeight, rgb.data());
}

std::FILE* capture_create_file(const std::string& path, std::string& error) {
  std::string reason;
  std::FILE* file = os::create_new_file(path, reason);
  if (!file) error = path + ": cannot create: " + reason;
  return file;
}

namespace {
constexpr char kWorkingPrefix[] = ".quorvane-capture-";
}

bool StagingFolder::make(const std::string& parent, std::string& error) {
  std::string reason;
  const std::string prefix = kWorkingPrefix + std::to_string(os::process_id()) + "-";
  if (os::make_unique_folder(parent, prefix, dir_, reason)) return true;
  error = parent + ": cannot make a folder for the capture: " + reason;
  return false;
}

bool StagingFolder::names(std::vector<std::string>& names, std::string& error) const {
  std::string reason;
  if (!os::list_folder(dir_, names, reason)) {
    error = dir_ + ": cannot read the folder: " + reason;
    return false;
  }
  std::sort(names.begin(), names.end());
  return true;
}

void StagingFolder::remove() {
  if (!dir_.empty()) os::remove_tree(dir_);
  dir_.clear();
}

int StagingFolder::remove_abandoned(const std::string& parent) {
  std::vector<std::string> names;
  std::string reason;
  if (!os::list_folder(parent, names, reason)) return 0;
  int removed = 0;
  const size_t prefix = sizeof kWorkingPrefix - 1;
  for (const std::string& name : names) {
    // ".quorvane-capture-PID-XXXXXX": a folder of an older naming, without the process's id,
    // cannot be told from one in use and stays.
    if (name.compare(0, prefix, kWorkingPrefix) != 0) continue;
    const size_t dash = name.find('-', prefix);
    if (dash == std::string::npos || dash == prefix || dash - prefix > 10) continue;
    long pid = 0;
    bool digits = true;
    for (size_t i = prefix; i < dash; ++i) {
      digits = digits && name[i] >= '0' && name[i] <= '9';
      pid = pid * 10 + (name[i] - '0');
    }
    const std::string path = parent + "/" + name;
    if (!digits || pid == os::process_id() || os::process_alive(pid) ||
        os::entry_kind(path) != os::FileKind::kFolder)
      continue;
    if (os::remove_tree(path)) ++removed;
  }
  return removed;
}

bool capture_write_png(const std::string& path, const uint8_t* rgb, int width, int height,
                       std::string& error) {
  std::FILE* file = capture_create_file(path, error);
  if (!file) return false;
  PngFailure failure;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, png_fail, png_warn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(file);
    error = path + ": out of memory";
    return false;
  }
  if (setjmp(failure.jump)) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = path + ": cannot write the PNG: " + failure.message;
    return false;
  }
  png_init_io(png, file);
  // Level 3 with the Sub filter takes about half the time of libpng's defaults (level 6,
  // adaptive filters) on the show's pictures at 800 x 640; photo-like frames come out up to
  // half again as large, flat ones no larger.
  png_set_compression_level(png, 3);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, rgb + size_t(y) * width * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    error = path + ": cannot write: " + std::strerror(errno);
    return false;
  }
  return true;
}

WavWriter::~WavWriter() {
  if (file_) std::fclose(file_);
}

bool WavWriter::open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = capture_create_file(path, error);
  if (!file_) return false;
  uint8_t header[44];
  wav_header(header, 0);
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) fail();
  return true;
}

void WavWriter::fail() {
  if (error_.empty()) error_ = path_ + ": cannot write: " + std::strerror(errno);
}

bool WavWriter::append(const int16_t* pcm, int frames) {
  if (!file_ || !error_.empty()) return false;
  // The samples are little-endian in the file, as they are in memory here (x86, ARM).
  if (std::fwrite(pcm, 4, size_t(frames), file_) != size_t(frames)) fail();
  frames_ += uint64_t(frames);
  return error_.empty();
}

bool WavWriter::close(std::string& error) {
  if (!file_) return false;
  uint8_t header[44];
  wav_header(header, frames_);
  if (error_.empty() && std::fflush(file_) != 0) fail();
  if (error_.empty() &&
      (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file_) != sizeof header))
    fail();
  if (std::fclose(file_) != 0) fail();
  file_ = nullptr;
  error = error_;
  return error_.empty();
}

}  // namespace capture
