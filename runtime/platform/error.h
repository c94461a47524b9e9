// runtime/platform/error.h — the platform layer's record of its last failure (internal).
#pragma once

#include <string>

namespace platform {

// Records "what: SDL's reason" as the last error; call right after the SDL call that failed,
// before any other SDL call can replace SDL's own message.
void remember_error(const char* what);
// Records `text` as the last error as it stands (an error recorded earlier, on another thread).
void remember_error_text(const std::string& text);

}  // namespace platform
