// icongen OUT.ico PICTURE.png... — writes a Windows icon file holding each picture as one size.
//
// Pictures up to 128 x 128 are stored as 32-bit bitmaps with their alpha (and an all-clear
// AND mask, which 32-bit icons ignore); a 256 x 256 picture is stored as its PNG file, as
// Explorer expects for the largest size. Every picture must be square, 1 to 256 pixels.
// Used by the Windows build for the executable's icon group; built with the build machine's
// compiler.
#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Picture {
  int size = 0;
  std::vector<uint8_t> rgba;  // top-down
  std::vector<uint8_t> file;  // the PNG's own bytes
};

bool read_file(const char* path, std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool load(const char* path, Picture& picture, std::string& error) {
  if (!read_file(path, picture.file)) {
    error = std::string(path) + ": " + std::strerror(errno);
    return false;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, picture.file.data(), picture.file.size())) {
    error = std::string(path) + ": not a PNG picture (" + image.message + ")";
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  if (image.width != image.height || image.width < 1 || image.width > 256) {
    png_image_free(&image);
    error = std::string(path) + ": an icon picture is square, 1 to 256 pixels";
    return false;
  }
  picture.size = int(image.width);
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
    error = std::string(path) + ": cannot decode (" + image.message + ")";
    return false;
  }
  return true;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// A 32-bit bitmap as an icon image: the header's height counts the colour rows and the mask
// rows together; rows run bottom-up in BGRA.
std::vector<uint8_t> bitmap_entry(const Picture& p) {
  std::vector<uint8_t> out;
  put32(out, 40);
  put32(out, uint32_t(p.size));
  put32(out, uint32_t(p.size * 2));
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // uncompressed
  const uint32_t mask_row = uint32_t((p.size + 31) / 32 * 4);
  put32(out, uint32_t(p.size * p.size * 4) + mask_row * uint32_t(p.size));
  for (int i = 0; i < 4; ++i) put32(out, 0);
  for (int y = p.size - 1; y >= 0; --y)
    for (int x = 0; x < p.size; ++x) {
      const uint8_t* px = &p.rgba[(size_t(y) * p.size + x) * 4];
      out.insert(out.end(), {px[2], px[1], px[0], px[3]});
    }
  out.insert(out.end(), size_t(mask_row) * p.size, 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: icongen OUT.ico PICTURE.png...\n");
    return 2;
  }
  std::vector<std::vector<uint8_t>> images;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) {
    Picture picture;
    std::string error;
    if (!load(argv[i], picture, error)) {
      std::fprintf(stderr, "icongen: %s\n", error.c_str());
      return 1;
    }
    images.push_back(picture.size == 256 ? picture.file : bitmap_entry(picture));
    sizes.push_back(picture.size);
  }
  std::vector<uint8_t> out;
  put16(out, 0);
  put16(out, 1);  // icon
  put16(out, uint32_t(images.size()));
  uint32_t offset = 6 + 16 * uint32_t(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out.push_back(uint8_t(sizes[i] & 0xFF));  // 0 stands for 256
    out.push_back(uint8_t(sizes[i] & 0xFF));
    out.push_back(0);  // no palette
    out.push_back(0);
    put16(out, 1);   // planes
    put16(out, 32);  // bits per pixel
    put32(out, uint32_t(images[i].size()));
    put32(out, offset);
    offset += uint32_t(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "icongen: %s: cannot write: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  return 0;
}
