#include "vexlor/control/sink_list.h"

#include <algorithm>

namespace vexlor {

void SinkList::Add(EventSink* sink) {
  if (sink != nullptr) sinks_.push_back(sink);
}

void SinkList::Remove(EventSink* sink) {
  if (sink == nullptr) return;
  auto it = std::find(sinks_.begin(), sinks_.end(), sink);
  if (it == sinks_.end()) return;
  if (depth_ > 0) {
    *it = nullptr;  // a delivery is walking the list by position
  } else {
    sinks_.erase(it);
  }
}

void SinkList::DropRemoved() { std::erase(sinks_, nullptr); }

}  // namespace vexlor
