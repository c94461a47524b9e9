// runtime/platform/message_queue.h — the pending messages of a platform layer (internal).
#pragma once

#include <algorithm>
#include <deque>

#include "runtime/platform/platform.h"

namespace platform {

// Appends `message`. At most one mouse move is pending: an older one is dropped, since the
// newer carries the latest position (message_take's promise).
inline void post_message(std::deque<Message>& messages, const Message& message) {
  if (message.message == kMsgMouseMove) {
    const auto old = std::find_if(messages.begin(), messages.end(),
                                  [](const Message& m) { return m.message == kMsgMouseMove; });
    if (old != messages.end()) messages.erase(old);
  }
  messages.push_back(message);
}

}  // namespace platform
