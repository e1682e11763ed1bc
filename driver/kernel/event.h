#pragma once
// Kernel events, for waiting at passive level until another context signals.
#include <stdint.h>

namespace kernel {

// Room for the platform's own event (16 bytes on x86); each backend keeps its
// event in it.
struct Event {
  alignas(8) uintptr_t storage[4];
};

// A notification event stays signalled until cleared and releases every
// waiter; a synchronization event releases one waiter and resets itself.
enum class EventType : uint8_t { Notification, Synchronization };

void initializeEvent(Event& event, EventType type, bool signalled);
void setEvent(Event& event);
void clearEvent(Event& event);
// Waits without a time-out; passive level only.
void waitForEvent(Event& event);

}  // namespace kernel
