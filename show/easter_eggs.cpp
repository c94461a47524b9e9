// The mouse hint, the typed key words and their messages, and the debug overlay.
#include <cmath>
#include <string_view>

#include "assets/texts.h"
#include "effects/frame_pacing.h"
#include "effects/objects.h"
#include "runtime/sprite/sprite.h"
#include "show/drawing.h"
#include "show/format.h"
#include "show/scene.h"

namespace show {
namespace {

using namespace objects;

constexpr int32_t kBannerOrange = 0x065CB3;  // RGB (179, 92, 6)
constexpr int kMessageY = 622;

}  // namespace

// +0.125 on a moving frame and -0.1 on every frame: continuous movement gains 0.025 a frame, so
// the hint first reaches intensity 1 (0.5 rounds to even 0, 0.525 to 1) in the 17th moving frame
// and never passes 64; at rest it is gone within 640 frames. The hint is drawn between the rise
// and the fall, so the frame keeps the intensity it is drawn with.
void advance_mouse_hint(ShowState& show, bool moved) {
  show.mouse_moved = moved ? 1 : 0;
  if (moved && show.hint_level < 64000) show.hint_level += 125;
  show.hint_intensity = int(std::nearbyint(show.hint_level / 1000.0));
  if (show.hint_level > 0) show.hint_level -= 100;
}

void paint_mouse_hint(const ShowState& show) {
  if (show.mouse_moved) text(128, 326, texts::kMouseBanner, kBannerOrange, 128);
  text(24, 6, texts::kHint, kLightBlue, show.hint_intensity);
}

void typed_key(ShowState& show, std::u16string_view typed) {
  std::u16string lower(typed);
  for (char16_t& c : lower)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  if (lower.size() == 1 && texts::kLetters.find(lower[0]) != std::u16string_view::npos) {
    if (show.typed_word.size() < 8)
      show.typed_word += lower;
    else
      show.typed_word = lower;
  } else if (lower != u" ") {
    show.typed_word.clear();
  }
}

void advance_pulse(ShowState& show) {
  if (show.pulse >= 128 || show.pulse <= 0) show.pulse_rising = 1 - show.pulse_rising;
  show.pulse += show.pulse_rising ? 6 : -6;
}

void paint_key_word_messages(const ShowState& show) {
  const std::u16string& word = show.typed_word;
  if (word == texts::kKeyWordPicture) {
    // The banner sweeps far to both sides on swing and trembles on sinx * shiver.
    const float x = float((kScreenWidth - sprite_width(kBannerSprite)) / 2) + 2.0f * show.waves.swing;
    const float y =
        float((kScreenHeight - sprite_height(kBannerSprite)) / 2) + show.waves.sinx * show.waves.shiver;
    sprite_display(kBannerSprite, round_int(x), round_int(y), 255);
    text(172, kMessageY, texts::kPictureMessage, 0x1D97F7, show.pulse);
  }
  if (word == texts::kKeyWordContact) text(284, kMessageY, texts::kContactMessage, 0xFF4A6D, show.pulse);
  if (word == texts::kKeyWordClaim) text(240, kMessageY, texts::kClaimMessage, 0x4A4AFF, show.pulse);
  if (word == texts::kKeyWordCredit) text(164, kMessageY, texts::kCreditMessage, kLightBlue, show.pulse);
}

// The panel: nine veil layers (eight stacked 8 pixels apart at the left, one over the rest), the
// pulsing title, then one line of values per slot k at y = 128 + 16 (1 + k).
void paint_debug_overlay(const ShowState& show) {
  const int veil_width = sprite_width(kVeilSprite);
  const int left = int(std::nearbyint(-veil_width / 1.4));
  for (int layer = 0; layer < 8; ++layer) sprite_display(kVeilSprite, left - 8 * layer, 0, 96);
  sprite_display(kVeilSprite, int(std::nearbyint(veil_width - veil_width / 1.4)), 0, 96);
  text(72, 144, texts::kDebugTitle, 0x4A4AFF, show.pulse);

  FrameTimer* timer = show.frame_timer;
  const int target_rate = timer ? timer->operations->get_rate(timer) : 0;
  const int measured_rate = show.measured_rate;
  const std::u16string lines[][2] = {
      {u"     fps > ",
       format_number(target_rate, 2, u'0') + u" (" + format_number(measured_rate, 2, u'0') + u")"},
      {u"   delay > ", format_number(show.delay, 2, u'0') + u"ms"},
      {u"    tune > ", format_number(show.position, 2, u'0') + u"/" + format_number(show.row, 2, u'0') +
                           u" " + show.tick_text},
      {u"   flash > ", format_number(show.flash_phase, 2, u'0') + u" " + show.word_text},
      {u"    page > ", format_number(show.page, 2, u'0') + u"/" + format_number(show.page_count, 2, u'0') +
                           u" " + show.countdown_text},
      {u"   pulse > ", format_number(show.pulse, 3, u'0')},
      {u"    sinx > ", format_rounded(show.waves.sinx, 3, u' ')},
      {u"    siny > ", format_rounded(show.waves.siny, 3, u' ')},
      {u"  bounce > ", format_rounded(show.waves.bounce, 3, u' ')},
      {u"   bsinx > ", format_number(show.trail.bsinx, 3, u' ')},
      {u"   bsiny > ", format_number(show.trail.bsiny, 3, u' ')},
      {u"  scroll > ", format_number(show.scroller.counter_index, 4, u'0') + u"/" +
                           format_number(show.scroller.length, 4, u'0')},
  };
  constexpr int kSlots[] = {2, 3, 5, 6, 8, 10, 12, 13, 15, 17, 18, 20};
  for (size_t i = 0; i < std::size(kSlots); ++i)
    text(32, 128 + 16 * (1 + kSlots[i]), lines[i][0] + lines[i][1], 0xFFFFFF, 192);
}

}  // namespace show
