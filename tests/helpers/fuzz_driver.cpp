// Stand-in for libFuzzer's driver where the compiler has none (GCC): replays every file of
// the corpus folders, then feeds a fixed, seeded number of random mutations of them.
//   fuzz_target RUNS SECONDS DIR...
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RUNS SECONDS DIR...\n", argv[0]);
    return 2;
  }
  const long runs = std::atol(argv[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atol(argv[2]));
  std::vector<std::vector<uint8_t>> corpus;
  for (int i = 3; i < argc; ++i) {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], error)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream file(entry.path(), std::ios::binary);
      corpus.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(corpus.back().data(), corpus.back().size());
    }
  }
  if (corpus.empty()) corpus.push_back({});

  std::mt19937 random(12345);
  long done = 0;
  for (; done < runs && std::chrono::steady_clock::now() < deadline; ++done) {
    std::vector<uint8_t> input = corpus[random() % corpus.size()];
    const int edits = 1 + random() % 8;
    for (int e = 0; e < edits; ++e) {
      switch (random() % 4) {
        case 0:  // flip a byte
          if (!input.empty()) input[random() % input.size()] ^= uint8_t(1u << (random() % 8));
          break;
        case 1:  // set a byte to an interesting value
          if (!input.empty()) input[random() % input.size()] = uint8_t(random() % 2 ? 0xFF : random() % 3);
          break;
        case 2:  // truncate
          if (!input.empty()) input.resize(random() % input.size());
          break;
        default:  // insert a random byte
          input.insert(input.begin() + (input.empty() ? 0 : random() % input.size()), uint8_t(random()));
          break;
      }
    }
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("fuzz: %zu corpus inputs, %ld mutations, no fault\n", corpus.size(), done);
  return 0;
}
