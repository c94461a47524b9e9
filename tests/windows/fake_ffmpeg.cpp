// A stand-in for ffmpeg.exe in the Windows tests of --video: reads its standard input to the
// end, writes the file named by its last argument (so that a later pass finds it), and appends
// one line to the record file named by QUORVANE_FFMPEG_RECORD: the bytes it read and its
// arguments. QUORVANE_FFMPEG_SLOW=1 makes it take 40 ms per 64 KB read, so that a test can
// interrupt a capture while it is being fed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const bool slow = std::getenv("QUORVANE_FFMPEG_SLOW") != nullptr;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  static char buffer[65536];
  unsigned long long total = 0;
  DWORD n = 0;
  while (ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    total += n;
    if (slow) Sleep(40);
  }
  if (argc > 1) {
    if (std::FILE* out = std::fopen(argv[argc - 1], "wb")) {
      std::fputs("stand-in\n", out);
      std::fclose(out);
    }
  }
  if (const char* record = std::getenv("QUORVANE_FFMPEG_RECORD")) {
    if (std::FILE* f = std::fopen(record, "ab")) {
      std::fprintf(f, "read %llu", total);
      for (int i = 1; i < argc; ++i) std::fprintf(f, " %s", argv[i]);
      std::fprintf(f, "\n");
      std::fclose(f);
    }
  }
  return 0;
}
