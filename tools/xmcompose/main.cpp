// xmcompose OUT.xm — writes the show's music module, composed and synthesised by this program.
// The same program always writes the same bytes.
#include <cstdio>
#include <vector>

#include "tools/xmcompose/score.h"
#include "tools/xmcompose/xm_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xmcompose OUT.xm\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = xmcompose::xm_encode(xmcompose::compose_song());
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "xmcompose: %s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
