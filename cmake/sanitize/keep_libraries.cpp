// Sanitizer builds of the tests and of the intro only: dlclose does nothing, so the
// libraries OpenGL loads at run time (Mesa's DRI driver, unloaded when the X display closes)
// are still mapped when LeakSanitizer reports at exit. An unloaded library's frames show as
// "<unknown module>", which no suppression can name; mapped, they match tests/lsan.supp.
extern "C" int dlclose(void*) {
  return 0;
}
