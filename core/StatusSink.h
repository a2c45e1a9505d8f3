#pragma once

// Where an operation shows its progress: the form sets its status text and paints it at
// once (a window's calls run on the connection's worker, and their texts arrive on the
// window's thread in order). The core never holds a window.

#include <functional>
#include <string>

namespace kv {

using StatusSink = std::function<void(const std::string& text)>;

// Shows the text through the sink, if there is one.
inline void ShowStatus(const StatusSink& sink, const std::string& text) {
    if (sink) sink(text);
}

// The texts are plain: a window's status bar sets them off from its edge itself.

// Asked by an operation of several requests before each further one: true when its caller
// no longer wants the rest (its window has closed), so that nothing more is sent.
using StopAsked = std::function<bool()>;

inline bool StopRequested(const StopAsked& stop) {
    return stop && stop();
}

}  // namespace kv
