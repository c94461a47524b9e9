// The scripted user's text: times become frames exactly, keys and typed text become one press
// per frame, and every bad line is refused with its number.
#include "capture/input_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using capture::InputScript;
using capture::ScriptError;

struct Press {
  int frame, scan_code;
  char16_t text;
  bool operator==(const Press&) const = default;
};

std::vector<Press> presses(const InputScript& script) {
  std::vector<Press> out;
  for (const auto& k : script.keys) out.push_back({k.frame, k.scan_code, k.text});
  return out;
}

TEST(InputScript, TimesLandInTheFirstFrameAtOrAfterThem) {
  struct Case {
    const char* time;
    int frame;
  };
  // Frame n is at n * 1000 / 60 ms: 1.0 s is frame 60 exactly, a hair later is frame 61.
  for (const Case& c :
       {Case{"0", 0}, Case{"1", 60}, Case{"1.0", 60}, Case{"1.000001", 61}, Case{"0.016666", 1},
        Case{"0.016667", 2}, Case{".5", 30}, Case{"2.", 120}, Case{"86400", 5184000}}) {
    InputScript script;
    ScriptError error;
    ASSERT_TRUE(capture::input_script_parse(std::string(c.time) + " key Space", script, error))
        << c.time << ": " << error.message;
    ASSERT_EQ(script.keys.size(), 1u);
    EXPECT_EQ(script.keys[0].frame, c.frame) << c.time;
  }
}

TEST(InputScript, KeysTypedTextAndMoves) {
  InputScript script;
  ScriptError error;
  const char* text =
      "# comment\n"
      "\n"
      "  1 key Escape\r\n"
      "0.5\tkey F1\n"
      "2 key return\n"
      "3 key q\n"
      "4 type Ab e\n"
      "5 move 799 639\n"
      "0 move 0 0\n";
  ASSERT_TRUE(capture::input_script_parse(text, script, error)) << error.message;
  EXPECT_EQ(presses(script), (std::vector<Press>{{30, 0x3B, 0},
                                                 {60, 0x01, 0},
                                                 {120, 0x1C, 0},
                                                 {180, 0x10, u'q'},
                                                 {240, 0x1E, u'A'},
                                                 {241, 0x30, u'b'},
                                                 {242, 0x39, u' '},
                                                 {243, 0x12, u'e'}}));
  ASSERT_EQ(script.moves.size(), 2u);
  EXPECT_EQ(script.moves[0].frame, 0);
  EXPECT_EQ(script.moves[1].frame, 300);
  EXPECT_EQ(script.moves[1].x, 799);
  EXPECT_EQ(script.moves[1].y, 639);
}

TEST(InputScript, AKeyTypedTwiceInARowIsLetUpInBetween) {
  // Held over two samples it would be one press; the second one waits a frame.
  InputScript script;
  ScriptError error;
  ASSERT_TRUE(capture::input_script_parse("1 type boo", script, error));
  EXPECT_EQ(presses(script), (std::vector<Press>{{60, 0x30, u'b'}, {61, 0x18, u'o'}, {63, 0x18, u'o'}}));
}

TEST(InputScript, BadLinesAreRefusedWithTheirNumber) {
  struct Case {
    const char* text;
    int line;
    const char* says;
  };
  for (const Case& c : {
           Case{"1 key Foo", 1, "unknown key name \"Foo\""},
           Case{"# ok\n\n1 key", 3, "key needs a key name"},
           Case{"1 key Space Space", 1, "unexpected"},
           Case{"1 jump", 1, "unknown action \"jump\""},
           Case{"1", 1, "unknown action"},
           Case{"key Space", 1, "expected a time"},
           Case{"-1 key Space", 1, "expected a time"},
           Case{"1.5.2 key Space", 1, "expected a time"},
           Case{"1.0000001 key a", 1, "expected a time"},
           Case{"86400.5 key a", 1, "expected a time"},
           Case{"1e3 key a", 1, "expected a time"},
           Case{"1 type", 1, "type needs the text"},
           Case{"1 type caf\xC3\xA9", 1, "cannot type \"\\xC3\""},
           Case{"1 type {x}", 1, "cannot type \"{\""},
           Case{"1 move 800 0", 1, "move needs X"},
           Case{"1 move 10", 1, "move needs X"},
           Case{"1 move -1 5", 1, "move needs X"},
           Case{"1 move 1 2 3", 1, "unexpected"},
           Case{"1 key Space\n2 key Space\n3 key a\x01", 3, "unknown key name \"a\\x01\""},
       }) {
    InputScript script;
    ScriptError error;
    EXPECT_FALSE(capture::input_script_parse(c.text, script, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_NE(error.message.find(c.says), std::string::npos) << c.text << " -> " << error.message;
    EXPECT_TRUE(script.keys.empty() && script.moves.empty()) << c.text;
  }
}

TEST(InputScript, NulByteIsRefused) {
  InputScript script;
  ScriptError error;
  const std::string text("1 key Space\n2 key \0Space\n", 25);
  EXPECT_FALSE(capture::input_script_parse(text, script, error));
  EXPECT_EQ(error.line, 2);
}

}  // namespace
