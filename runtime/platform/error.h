// runtime/platform/error.h — the platform layer's record of its last failure (internal).
#pragma once

namespace platform {

// Records "what: SDL's reason" as the last error; call right after the SDL call that failed,
// before any other SDL call can replace SDL's own message.
void remember_error(const char* what);

}  // namespace platform
