// Loads of hidden views wait for the visible views' answers.
#include "load_order.h"

#include <glibmm/main.h>

#include <algorithm>

namespace tavro::platform::gtk {

int LoadOrder::Join(bool visible) {
  views_.push_back(View{nullptr, visible, false, std::nullopt});
  return static_cast<int>(views_.size()) - 1;
}

bool LoadOrder::VisibleViewAwaits() const {
  return std::any_of(views_.begin(), views_.end(), [](const View& v) { return v.visible && v.awaiting; });
}

void LoadOrder::Start(View& view, const std::string& uri) {
  view.waiting.reset();
  view.awaiting = true;
  view.load(uri);
}

void LoadOrder::StartWaiting(View& view) {
  if (!view.waiting) return;
  const std::string uri = std::move(*view.waiting);
  Start(view, uri);
}

void LoadOrder::StartAllWaiting() {
  longestWait_.Disconnect();
  for (View& view : views_) StartWaiting(view);
}

void LoadOrder::Submit(int index, std::string uri, Loader load) {
  View& view = views_.at(static_cast<std::size_t>(index));
  view.load = std::move(load);
  if (view.visible || !VisibleViewAwaits()) {
    Start(view, uri);
    return;
  }
  view.waiting = std::move(uri);
  // A site that never answers does not hold the hidden view back for long.
  if (!longestWait_.Connected())
    longestWait_ = Glib::signal_timeout().connect(
        [this] {
          StartAllWaiting();
          return false;
        },
        static_cast<unsigned>(kLongestWait.count()));
}

void LoadOrder::Answered(int index) {
  View& view = views_.at(static_cast<std::size_t>(index));
  if (!view.awaiting) return;
  view.awaiting = false;
  if (!VisibleViewAwaits()) StartAllWaiting();
}

bool LoadOrder::AnyPending() const {
  return std::any_of(views_.begin(), views_.end(), [](const View& v) { return v.awaiting || v.waiting; });
}

void LoadOrder::VisibilityChanged(int index, bool visible) {
  View& view = views_.at(static_cast<std::size_t>(index));
  view.visible = visible;
  if (visible) StartWaiting(view);
}

}  // namespace tavro::platform::gtk
