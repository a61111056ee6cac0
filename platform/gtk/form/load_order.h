// The order in which the window's views ask for their pages: what the agent sees first. A hidden
// view's load waits until every visible view's load has had an answer, and starts at the latest
// when the view is shown or a few seconds have passed.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "owners.h"

namespace tavro::platform::gtk {

class LoadOrder {
 public:
  using Loader = std::function<void(const std::string& uri)>;
  static constexpr std::chrono::milliseconds kLongestWait{3000};

  LoadOrder() = default;
  LoadOrder(const LoadOrder&) = delete;
  LoadOrder& operator=(const LoadOrder&) = delete;

  // A view takes part. Answers the view's index in the order.
  int Join(bool visible);
  // The view was asked to load `uri`: `load` starts it, at once or once its turn comes.
  void Submit(int index, std::string uri, Loader load);
  // The view's load has an answer (a page, or a failure).
  void Answered(int index);
  void VisibilityChanged(int index, bool visible);
  // A load was started and has no answer yet (or waits for its turn).
  bool AnyPending() const;

 private:
  struct View {
    Loader load;
    bool visible = false;
    bool awaiting = false;  // a load started and has no answer yet
    std::optional<std::string> waiting;  // a load waiting for its turn
  };
  bool VisibleViewAwaits() const;
  void Start(View& view, const std::string& uri);
  void StartWaiting(View& view);
  void StartAllWaiting();

  std::vector<View> views_;
  ScopedConnection longestWait_;
};

}  // namespace tavro::platform::gtk
