// picturegen pictures DIR — writes the show's pictures: badge.png, banner.png, backdrop.jpg
//                           and scene.png.
// picturegen icons DIR    — writes the window icons icon_16.png ... icon_256.png.
// Every run writes the same bytes. Errors: one line on standard error, exit code 1; a wrong
// command line: the usage line, exit code 2.
#include <cstdio>
#include <string>

#include "encode.h"
#include "pictures.h"

namespace {

int report(const std::string& problem) {
  if (problem.empty()) return 0;
  std::fprintf(stderr, "picturegen: %s\n", problem.c_str());
  return 1;
}

int write_pictures(const std::string& dir) {
  std::string problem = picturegen::write_png_rgba(dir + "/badge.png", picturegen::paint_badge());
  if (problem.empty()) problem = picturegen::write_png_rgba(dir + "/banner.png", picturegen::paint_banner());
  if (problem.empty())
    problem = picturegen::write_jpeg(dir + "/backdrop.jpg", picturegen::paint_backdrop(), 92);
  if (problem.empty()) {
    picturegen::PalettePicture scene = picturegen::paint_scene();
    // Only the sky entry is transparent: the picture is also shown through its key colour.
    std::vector<uint8_t> alpha(scene.palette.size() / 3, 255);
    alpha[0] = 0;
    problem = picturegen::write_png_palette(dir + "/scene.png", scene.width, scene.height, scene.indices,
                                            scene.palette, alpha);
  }
  return report(problem);
}

int write_icons(const std::string& dir) {
  for (int size : {16, 32, 64, 128, 256}) {
    std::string problem = picturegen::write_png_rgba(dir + "/icon_" + std::to_string(size) + ".png",
                                                     picturegen::paint_icon(size));
    if (!problem.empty()) return report(problem);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string what = argc == 3 ? argv[1] : "";
  if (what == "pictures") return write_pictures(argv[2]);
  if (what == "icons") return write_icons(argv[2]);
  std::fprintf(stderr, "usage: picturegen pictures|icons DIR\n");
  return 2;
}
