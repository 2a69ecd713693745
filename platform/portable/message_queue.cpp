// The posted-message queue shared by the gtk and headless backends.
#include "platform/portable/message_queue.h"

#include <algorithm>

namespace {

uint32_t stamp_time(const MessageQueue& queue) { return queue.clock != nullptr ? queue.clock() : 0; }
PlatformPoint stamp_point(const MessageQueue& queue) {
  return queue.cursor != nullptr ? queue.cursor() : PlatformPoint{0, 0};
}

}  // namespace

void message_queue_post(MessageQueue& queue, WindowHandle window, uint32_t message, WPARAM wparam,
                        LPARAM lparam) {
  queue.posted.push_back(PlatformMessage{window, message, wparam, lparam, stamp_time(queue), stamp_point(queue)});
}

void message_queue_push(MessageQueue& queue, const PlatformMessage& message) { queue.posted.push_back(message); }

void message_queue_post_quit(MessageQueue& queue, int32_t exit_code) {
  queue.quit_pending = true;
  queue.quit_code = exit_code;
}

bool message_queue_has_posted(const MessageQueue& queue) { return !queue.posted.empty(); }

bool message_queue_has_message(const MessageQueue& queue) { return !queue.posted.empty() || queue.quit_pending; }

bool message_queue_take(MessageQueue& queue, PlatformMessage* message, bool remove) {
  if (!queue.posted.empty()) {
    *message = queue.posted.front();
    if (remove) queue.posted.pop_front();
    return true;
  }
  if (!queue.quit_pending) return false;
  *message = PlatformMessage{nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<intptr_t>(queue.quit_code)), 0,
                             stamp_time(queue), stamp_point(queue)};
  if (remove) queue.quit_pending = false;
  return true;
}

void message_queue_forget_window(MessageQueue& queue, WindowHandle window) {
  auto& posted = queue.posted;
  posted.erase(std::remove_if(posted.begin(), posted.end(),
                              [window](const PlatformMessage& message) { return message.window == window; }),
               posted.end());
}
