// The limits on pages' windows, downloads and dialogs, without any toolkit.
#include "page_limits.h"

namespace tavro::platform::gtk {

void GestureLedger::Input(const void* view, LimitsClock::time_point now) {
  std::deque<LimitsClock::time_point>& inputs = inputs_[view];
  inputs.push_back(now);
  if (inputs.size() > kSavedInputs) inputs.pop_front();
}

bool GestureLedger::Take(const void* view, LimitsClock::time_point now) {
  const auto it = inputs_.find(view);
  if (it == inputs_.end()) return false;
  std::deque<LimitsClock::time_point>& inputs = it->second;
  // Too old to count for anything later.
  while (!inputs.empty() && (now < inputs.front() || now - inputs.front() > lifetime_)) inputs.pop_front();
  if (inputs.empty()) {
    inputs_.erase(it);
    return false;
  }
  inputs.pop_front();
  return true;
}

bool DialogPacing::OffersStop(const void* view, LimitsClock::time_point now) const {
  const auto it = pages_.find(view);
  if (it == pages_.end() || !it->second.lastAnswer) return false;
  return now - *it->second.lastAnswer <= kSuccessiveDialogTime;
}

bool DialogPacing::Stopped(const void* view) const {
  const auto it = pages_.find(view);
  return it != pages_.end() && it->second.stopped;
}

void DialogPacing::Answered(const void* view, LimitsClock::time_point now, bool stopAsked) {
  Page& page = pages_[view];
  page.lastAnswer = now;
  if (stopAsked) page.stopped = true;
}

void DialogPacing::AnsweredUnseen(const void* view, LimitsClock::time_point now) {
  std::deque<LimitsClock::time_point>& unseen = pages_[view].unseen;
  unseen.push_back(now);
  if (unseen.size() > kLoopingDialogs) unseen.pop_front();
}

bool DialogPacing::Looping(const void* view, LimitsClock::time_point now) const {
  const auto it = pages_.find(view);
  if (it == pages_.end()) return false;
  const auto& unseen = it->second.unseen;
  return unseen.size() >= kLoopingDialogs && now - unseen.front() <= std::chrono::seconds(1);
}

void DialogPacing::Navigated(const void* view) {
  if (const auto it = pages_.find(view); it != pages_.end()) it->second.stopped = false;
}

std::string BlockedNoticeText(int windows, int downloads) {
  std::string text;
  if (windows > 0) text = std::to_string(windows) + " 个弹出窗口";
  if (downloads > 0) text += (text.empty() ? "" : "、") + std::to_string(downloads) + " 个下载";
  return text.empty() ? text : "已阻止 " + text;
}

std::string NoProgramNoticeText(const std::string& scheme) { return "没有能打开 " + scheme + ": 链接的程序"; }

}  // namespace tavro::platform::gtk
