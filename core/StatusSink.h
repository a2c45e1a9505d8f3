#pragma once

// Where an operation shows its progress while a transport call blocks the window: the
// form sets its status text and repaints it at once. The core never holds a window.

#include <functional>
#include <string>

namespace kv {

using StatusSink = std::function<void(const std::string& text)>;

// Shows the text through the sink, if there is one.
inline void ShowStatus(const StatusSink& sink, const std::string& text) {
    if (sink) sink(text);
}

// The texts are plain: a window's status bar sets them off from its edge itself.

}  // namespace kv
