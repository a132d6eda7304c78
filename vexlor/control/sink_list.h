// The event sinks connected to one control, in the order of connection.
//
// Host code runs inside the events and may connect or disconnect sinks
// there, itself or others. The list stays sound under that: a sink
// disconnected while an event is being delivered is not called again, not
// even for the rest of that event, so its owner may destroy it as soon as
// Remove returns; a sink connected then hears the events raised after this
// one. Not thread-safe: a control is used from one thread at a time.
#ifndef VEXLOR_CONTROL_SINK_LIST_H_
#define VEXLOR_CONTROL_SINK_LIST_H_

#include <cstddef>
#include <vector>

#include "vexlor/event_sink.h"

namespace vexlor {

class SinkList {
 public:
  // Appends `sink`; a sink added twice is called twice per event. Null is
  // ignored. Amortised O(1); may throw std::bad_alloc.
  void Add(EventSink* sink);
  // Disconnects the earliest remaining connection of `sink`; an unknown
  // sink is ignored. O(sinks); never throws.
  void Remove(EventSink* sink);

  // Calls `call(sink)` for every sink connected when ForEach starts that is
  // still connected when its turn comes. `call` may call Add and Remove,
  // and ForEach again. Allocates nothing.
  template <typename Call>
  void ForEach(Call&& call) {
    Delivery delivery(*this);
    // Only appends happen while delivering, so the first `count` slots
    // keep their places; a slot emptied by Remove is skipped.
    const size_t count = sinks_.size();
    for (size_t i = 0; i < count; ++i) {
      if (EventSink* sink = sinks_[i]) call(*sink);
    }
  }

 private:
  class Delivery {
   public:
    explicit Delivery(SinkList& list) : list_(list) { ++list_.depth_; }
    ~Delivery() {
      if (--list_.depth_ == 0) list_.DropRemoved();
    }
    Delivery(const Delivery&) = delete;
    Delivery& operator=(const Delivery&) = delete;

   private:
    SinkList& list_;
  };

  void DropRemoved();

  // Null marks a sink removed during a delivery; such slots are dropped
  // once no delivery runs.
  std::vector<EventSink*> sinks_;
  int depth_ = 0;
};

}  // namespace vexlor

#endif  // VEXLOR_CONTROL_SINK_LIST_H_
