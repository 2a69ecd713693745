// The posted-message queue of the backends that have no system queue (gtk, headless): messages come out
// in the order they were posted, and WM_QUIT only once no other message waits, as PeekMessage does.
#pragma once

#include <deque>

#include "platform/platform.h"

struct MessageQueue {
  std::deque<PlatformMessage> posted;  // front first; a backend may rewrite a waiting message
  bool quit_pending = false;
  int32_t quit_code = 0;
  // The backend's clock and cursor: they stamp what message_queue_post queues and the WM_QUIT taken.
  uint32_t (*clock)() = nullptr;
  PlatformPoint (*cursor)() = nullptr;
};

// PostMessage, after the backend has checked the window: queued last, stamped with the time and cursor.
void message_queue_post(MessageQueue& queue, WindowHandle window, uint32_t message, WPARAM wparam,
                        LPARAM lparam);
// Queues a message exactly as given (a backend that stamps its own time or point).
void message_queue_push(MessageQueue& queue, const PlatformMessage& message);
// PostQuitMessage: WM_QUIT with this exit code once the queue is empty; a later call replaces the code.
void message_queue_post_quit(MessageQueue& queue, int32_t exit_code);
// Whether a posted message waits (WM_QUIT aside): what modal loops dispatch until there is none.
bool message_queue_has_posted(const MessageQueue& queue);
// Whether message_queue_take would give a message now, WM_QUIT included.
bool message_queue_has_message(const MessageQueue& queue);
// PeekMessage: the first posted message, else the pending WM_QUIT (to the thread, wparam the exit code);
// removed when remove is set. False when nothing waits.
bool message_queue_take(MessageQueue& queue, PlatformMessage* message, bool remove);
// A destroyed window's waiting messages are dropped.
void message_queue_forget_window(MessageQueue& queue, WindowHandle window);
