// Moving a capture's finished files into place: every file of the run in place, or every
// destination as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/os/os.h"

namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct Folders {
  fs::path dir, staging, keep;
};

// DIR holding an earlier run's a.png, b.wav and a stale picture x.png, and a working folder
// inside it holding this run's a.png, b.wav and c.txt.
Folders prepare(const std::string& name) {
  Folders f;
  f.dir = fs::path(::testing::TempDir()) / ("quorvane_move_" + name);
  fs::remove_all(f.dir);
  f.staging = f.dir / ".work";
  fs::create_directories(f.staging);
  write(f.dir / "a.png", "earlier a");
  write(f.dir / "b.wav", "earlier b");
  write(f.dir / "x.png", "earlier x");
  for (const char* n : {"a.png", "b.wav", "c.txt"}) write(f.staging / n, std::string("new ") + n);
  f.keep = f.staging / "previous";
  return f;
}

TEST(MoveTogether, AllInPlaceOrAllAsBefore) {
  const struct {
    const char* name;
    const char* third_destination;  // relative to DIR
    bool moved;
  } cases[] = {
      {"all move", "c.txt", true},
      // A destination in a folder that does not exist: the third move fails after two others.
      {"the third move fails", "missing/c.txt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Folders f = prepare(c.moved ? "ok" : "failing");
    const std::vector<std::pair<std::string, std::string>> moves = {
        {(f.staging / "a.png").string(), (f.dir / "a.png").string()},
        {(f.staging / "b.wav").string(), (f.dir / "b.wav").string()},
        {(f.staging / "c.txt").string(), (f.dir / c.third_destination).string()}};
    const os::MoveResult result = os::move_together(moves, {(f.dir / "x.png").string()}, f.keep.string());
    EXPECT_EQ(result.moved, c.moved) << result.reason;
    EXPECT_TRUE(result.restored);
    EXPECT_FALSE(fs::exists(f.keep)) << "the earlier files' keeping place is gone";
    if (c.moved) {
      EXPECT_EQ(read_all(f.dir / "a.png"), "new a.png");
      EXPECT_EQ(read_all(f.dir / "b.wav"), "new b.wav");
      EXPECT_EQ(read_all(f.dir / "c.txt"), "new c.txt");
      EXPECT_FALSE(fs::exists(f.dir / "x.png"));
    } else {
      EXPECT_NE(result.reason.find("missing"), std::string::npos) << result.reason;
      EXPECT_EQ(read_all(f.dir / "a.png"), "earlier a");
      EXPECT_EQ(read_all(f.dir / "b.wav"), "earlier b");
      EXPECT_EQ(read_all(f.dir / "x.png"), "earlier x");
      EXPECT_FALSE(fs::exists(f.dir / "c.txt"));
      for (const char* n : {"a.png", "b.wav", "c.txt"})
        EXPECT_EQ(read_all(f.staging / n), std::string("new ") + n) << "back in the working folder";
    }
  }
}

// Removing a working folder with what it holds, links not followed.
TEST(MoveTogether, RemoveTreeDoesNotFollowLinks) {
  const fs::path root = fs::path(::testing::TempDir()) / "quorvane_remove_tree";
  fs::remove_all(root);
  fs::create_directories(root / "tree" / "previous");
  fs::create_directories(root / "outside");
  write(root / "outside" / "keep.txt", "keep");
  write(root / "tree" / "frame.png", "x");
  write(root / "tree" / "previous" / "audio.wav", "x");
  std::error_code no_links;
  fs::create_directory_symlink(root / "outside", root / "tree" / "link", no_links);
  EXPECT_TRUE(os::remove_tree((root / "tree").string()));
  EXPECT_FALSE(fs::exists(root / "tree"));
  EXPECT_EQ(read_all(root / "outside" / "keep.txt"), "keep");
  EXPECT_TRUE(os::remove_tree((root / "tree").string())) << "nothing there is success";
}

TEST(MoveTogether, ProcessAlive) {
  EXPECT_TRUE(os::process_alive(os::process_id()));
  EXPECT_FALSE(os::process_alive(0x7FFFFFF0));
}

}  // namespace
