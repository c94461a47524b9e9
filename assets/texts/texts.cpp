// The show's texts: every line it draws, in the shapes its drawing routines rely on.
// Only characters of the glyph order occur; "~" would draw as a double quote and is not used.
#include "assets/texts.h"

namespace texts {

// 82 columns each. Rows 0-1 and 6-12 and 17-18 are drawn white, 2-5 and 13-16 light blue. The
// name's letters are solid two-column stems of "#": slanted strokes of slashes break up into
// hatching once the logo lies over the picture.
const std::array<std::u16string_view, 19> kLogoLines = {
    uR"(                                        .                                         )",
    uR"(    ____________________________________/\____________________________________    )",
    uR"(    \  [ quorvane ]                                                [ 2024 ]  /    )",
    uR"(     \__________________________________  __________________________________/     )",
    uR"(               .       .        .       \/       .        .       .               )",
    uR"(                              .    :    .    :    .                               )",
    uR"(   ######   ##    ##   ######   #######   ##    ##    ####    ##    ##  ########  )",
    uR"(  ##    ##  ##    ##  ##    ##  ##    ##  ##    ##   ##  ##   ###   ##  ##        )",
    uR"(  ##    ##  ##    ##  ##    ##  ##    ##  ##    ##  ##    ##  ####  ##  ##        )",
    uR"(  ##    ##  ##    ##  ##    ##  #######   ##    ##  ##    ##  ## ## ##  ######    )",
    uR"(  ##  ####  ##    ##  ##    ##  ##  ##     ##  ##   ########  ##  ####  ##        )",
    uR"(  ##   ##   ##    ##  ##    ##  ##   ##     ####    ##    ##  ##   ###  ##        )",
    uR"(   #### ##   ######    ######   ##    ##     ##     ##    ##  ##    ##  ########  )",
    uR"( ________________________________________________________________________________ )",
    uR"( [__]   .:  code by kestrow  :.   .:  intro 2024  :.   .:  pure c++20  :.   [__]  )",
    uR"( \______________________________________/\______________________________________/ )",
    uR"(                                        \/                                        )",
    uR"(                                        .                                         )",
    uR"(                                        .                                         )",
};

// R1 to R10, 99 columns each, drawn centred and stacked in colours to make the rules.
const std::array<std::u16string_view, 10> kRulePatterns = {
    uR"(---------------------------------------------------------------------------------------------------)",
    uR"( --- ---  ----- ------------------------------------------------------------------- -----  --- --- )",
    uR"(            -- --  -------------------------------------------------------------  -- --            )",
    uR"(                        -- - ----------------------------------------- - --                        )",
    uR"(                                    -- --------------------- --                                    )",
    uR"(                                          ---------------                                          )",
    uR"(            -- --  -/-------------\--------------/--------------\-------------/-  -- --            )",
    uR"(                        -- - -___--------------/---\--------------___- - --                        )",
    uR"(                                    -- -[---==---+---==---]- --                                    )",
    uR"(                                          ------==-------                                          )",
};

// The flash words in block letters of '#': the font's '#' has two-pixel bars across the whole
// 7 x 14 pixels of its cell, and the lines stand 14 pixels apart, so the blocks join into
// letters 40 pixels wide and 56 high that read at a glance, even half covered by a disc.
// The question mark's dot is an 'o', which sits low in its cell and so stays apart.
const std::array<FlashWord, 5> kFlashWords = {{
    {u"want",
     {uR"(  #   #  ###  #   # #####)",
      uR"(  #   # #   # ##  #   #  )",
      uR"(  # # # ##### # # #   #  )",
      uR"(   # #  #   # #  ##   #  )"}},
    {u"to",
     {uR"( #####  ### )",
      uR"(   #   #   #)",
      uR"(   #   #   #)",
      uR"(   #    ### )"}},
    {u"quor",
     {uR"(   ###  #   #  ###  #### )",
      uR"(  #   # #   # #   # #   #)",
      uR"(  #  ## #   # #   # #### )",
      uR"(   ####  ###   ###  #   #)"}},
    {u"vane",
     {uR"( #   #  ###  #   # #####)",
      uR"( #   # #   # ##  # #    )",
      uR"(  # #  ##### # # # #### )",
      uR"(   #   #   # #  ## #####)"}},
    {u"?",
     {uR"(  #### )",
      uR"(     # )",
      uR"(   ##  )",
      uR"(   o   )"}},
}};

// Page 1: a heading, the year in block figures, a closing shout.
const std::array<std::u16string_view, 6> kPage1Lines = {
    u"QUORVANE PROUDLY PRESENTS TO YOU ...",
    uR"(            ___    ___    ___                   )",
    uR"(               |  |  /|      |  |   |           )",
    uR"(            ___|  | / |   ___|  |___|           )",
    uR"(__________ |___   |/__|  |___       | __________)",
    u"THE INTRO OF THE YEAR - NO LESS!",
};

// Page 2: still white prose between short bouncing credits.
const std::array<std::u16string_view, 9> kPage2Lines = {
    u"hello and welcome to our small intro for 2024",
    u"we put it together on long evenings, with a pot of tea and a tracker at our side.",
    u"all the code: kestrow",
    u"none of it is borrowed or bought.",
    u"the tune: brackwyn",
    u"the three of us made every glyph, every pixel and every note you see here.",
    u"gfx by tessivar",
    u"sit back, turn the volume up a notch and watch the scroller wobble away.",
    u".. enjoy the show ..",
};

// Page 3: one swaying line, a hint at the key word that brings up the banner.
const std::array<std::u16string_view, 1> kPage3Lines = {
    u"PSST.. PRESS ENTER AND TYPE OUR NAME, FRIEND",
};

// Page 4: a paragraph above a floppy disk.
const std::array<std::u16string_view, 9> kPage4Lines = {
    u"this intro is a love letter to the old days, when a disk came by post with a note on it...",
    u"and the first thing you saw was a wobbling scroller and a big logo",
    u"we still think a good scroller, a catchy tune and some colours are all that anyone needs.",
    uR"( ______________________________________ )",
    uR"(|  |   ________________________   |  | |)",
    uR"(|  |  |    quorvane  disk 1    |  |__| |)",
    uR"(|  |  |    intro  .  2024      |       |)",
    uR"(|  |  |________________________|    o  |)",
    uR"(|__|_________[__]______________________|)",
};

// Page 5: greetings: a block-letter heading and the groups we greet (made-up names, like the
// handles in the credits).
const std::array<std::u16string_view, 10> kPage5Lines = {
    uR"( ___   ____   ____  ____ _____ ___ |\  |  ___   ___ )",
    uR"(|     |    | |     |       |    |  | \ | |     |___ )",
    uR"(|  _  |____/ |___  |___    |    |  |  \| |  _      |)",
    uR"(|___| |    \ |____ |____   |   _|_ |   | |___|  ___|)",
    u"GREETINGS TO BYTEKILN - NORTHKEEL - LOOMPHASE - VELVET RASTER - FERNOWL",
    u"COPPERWREN - THE NINE TRACKS - SUNMARL - PIXEL MOTH - HEXWEAVE CREW",
    u"and to all of our friends from the parties of recent years:",
    u"LATE KETTLE - TAPEMOSS - MOONTILLER - INKLAMP",
    u"you keep the scene alive and we love you for it. stay creative!",
    u"if we forgot your name, blame the coder: he wrote this page at 4 a.m.!",
};

// Page 6: thanks: a block-letter heading and a paragraph.
const std::array<std::u16string_view, 9> kPage6Lines = {
    uR"(     _____ |   |  ___  |\  | |  /   ___      )",
    uR"(       |   |___| |   | | \ | |_/   |___      )",
    uR"(       |   |   | |___| |  \| | \       |     )",
    uR"(____   |   |   | |   | |   | |  \   ___| ____)",
    u"thanks go out to all of you who still watch intros on big screens in a dark hall.",
    u"thanks to the organisers, the sound engineers and the people at the entrance.",
    u"thanks to our friends and family for their patience with our all-nighters.",
    u"and thanks to you for staying with our production up to this very line!",
    u"now press escape when you are done, or simply let it run and enjoy the music again.",
};

// Page 7: a night landscape; the eighth entry is the white line drawn over slot 6, its digits and
// brackets standing in the blank columns of the art line under it.
const std::array<std::u16string_view, 13> kPage7Lines = {
    uR"(   .          *           .            ___             .          *            .          .     )",
    uR"(        .            _  _        .    (   )_     .           .          _   _       *           )",
    uR"(  *          .     _( )( )_             (___ )         *          .    ( )_( )_          .      )",
    uR"(       .          (________)    .                .          .         (_______ )     .         *)",
    uR"(   .        *                        .                          *                       .       )",
    uR"(            /\                    __/\__                 /\                  /\/\               )",
    uR"(   /\      /  \     ___     /\   /      \      ___      /  \      /\       /    \      /\       )",
    uR"(      [2]                          [0]                       [2]                  [4]           )",
    uR"(  /  \ /\ /    \   /   \   /  \ /        \    /   \    /    \ /\ /  \     /      \    /  \      )",
    uR"( /    /  \      \_/     \_/    /          \__/     \__/      /  \    \___/        \__/    \     )",
    uR"(/  /\/    \   /\      /\      /\    /\       /\     /\   /\     /\    /\       /\     /\   \    )",
    uR"(__/||\____/\_/||\____/||\____/||\__/||\_____/||\___/||\_/||\___/||\__/||\_____/||\___/||\___\___)",
    uR"('''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''''')",
};

// 40 pieces, 5,407 characters once joined: thirteen paragraphs, the first opening with three
// blanks, with a run of twelve blanks between two paragraphs.
const std::array<std::u16string_view, 40> kScrollPieces = {
    u"   welcome, traveller of the scene, to the quorvane introduction of 2024! what you are watching is an intro the way we always loved them: a logo that ",
    u"throbs with the beat, rules of dashes that breathe, pages of text that bounce and sway, a trail of tiny discs, and this sine scroller wobbling ",
    u"along the bottom of the screen, carried by a tune that was written just for this production. grab a drink, dim the lights low, put your feet up, lean back and let it roll...",
    u"            ",
    u"everything you see and hear lives inside one single program. the pictures, the font, the music and all the lines of text are compiled right into it: nothing is loaded from disk and nothing is written back. the font ",
    u"is eight by eight pixels, stretched to double height like on the machines we grew up with, and it is the only font this intro knows. ninety-four characters, no more, no less, and they have to do for everything.",
    u"            ",
    u"the music is an original tune in the good old xm format. our own composer tool synthesises each instrument from scratch, the kick and the snare, the hats and the bass, the chip arpeggios, the pads and the lead, ",
    u"and then writes the patterns from a score it keeps in its source. watch the screen while the song builds up: the flash words land right on the stabs of the first channel, and the whole show follows the music.",
    u"            ",
    u"a few hints for the curious among you: press space to make the window bigger, and press it again to make it small. press f1 to peek into the machine room and see what the intro is thinking. press escape when ",
    u"you have seen enough, and we'll say goodbye properly. and if you keep moving the mouse around for a while, somebody might just start talking to you... typing is allowed too, if you know the right words.",
    u"            ",
    u"and now it is time for the greetings! quorvane sends its warmest regards to bytekiln, northkeel, loomphase, velvet raster, fernowl, copperwren, the nine tracks, sunmarl, pixel moth, hexweave crew, ",
    u"late kettle, tapemoss, moontiller and inklamp. you are the ones who keep this small world spinning, with your releases, your parties and your late nights in front of a tracker or an editor.",
    u"            ",
    u"personal greetings fly out to all the people we shared a table with at the last parties: to the guy with the mobile phone that played chip tunes all night, to the organiser who fixed the projector with a shoelace, ",
    u"to the crew who brought a whole crate of floppy disks just for the nostalgia, and to all of you who sat through our bad jokes at breakfast. you know who you are, and we hope to see you again soon!",
    u"            ",
    u"special thanks go out to all who still code for the pure joy of it, to the people behind each party that keeps a big screen and a loud sound system ready for the compos, to the sound engineers who turn ",
    u"our tunes into a wall of sound, and to the audience that sits in a dark hall at four in the morning and still cheers for a good old scroller. without you there would be no reason to make any of this.",
    u"            ",
    u"a word on the code: this intro was coded by kestrow, who spent more evenings on the timing of the flash words than he would like to admit. the ",
    u"tracker music is mixed in real time by a player written from the ground up, the screen is drawn sixty times per second, and each single ",
    u"column of this text gets its own sine wave. if it runs smoothly on your machine, he is a happy man. if it does not, please tell him nicely.",
    u"            ",
    u"quorvane is a small crew of friends who met at a party many years ago and never really stopped making things together: intros, music disks, the odd demo, a diskmag that never got past issue two, ",
    u"and way too many unfinished ideas on far too many disks. we are not the biggest group around and we do not care, because the fun of making something together has always been the best part of it.",
    u"            ",
    u"want to quor vane? we are always happy to hear from coders, musicians and pixel artists who like the old style as much as we do. you do not have to be a wizard, you just need the will to finish things ",
    u"and a sense of humour. type the right word into this window and it will tell you how to reach us. no forms to fill in, no tests to pass: just bring your ideas and a lot of patience for our meetings.",
    u"            ",
    u"some of us started with a home computer under the christmas tree and a pile of copied disks full of crack intros. we watched those scrollers and rasters for hours and wondered how anybody could make ",
    u"a machine do that. years later we still wonder a bit, but at least now we know some of the tricks, and we love to pass them on to anybody who asks. keep asking, keep learning, keep making things.",
    u"            ",
    u"a few things we learned while making this intro: a scroller is never fast enough for the coder and always too fast for the reader. a tune is never finished, only released. a sine wave fixes almost ",
    u"everything. and the last bug is always found five minutes before the deadline, by the person who did not write it. if you found another one, keep it as a souvenir and do not tell anybody about it.",
    u"            ",
    u"that is all for now, folks. the text will start again in a moment, so this is the moment to say goodbye. thank you for watching, thank you for reading this far, and thank you for ",
    u"being part of the scene. quorvane is signing off... see you at the next party, in the next compo, and in the next intro. take care of yourselves and never stop making things!",
};

std::u16string scroll_text() {
  std::u16string text;
  for (std::u16string_view piece : kScrollPieces) text += piece;
  return text;
}

}  // namespace texts
