// The whole title of a view's page. The engine hands on only a title's first 1000 characters;
// a longer one is read from the page itself, so that the caption holds all of it and the
// title marker is found wherever it stands.
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <string>

#include "owners.h"

namespace tavro::platform::gtk {

// The engine's cut, in characters, and the most Tavro reads of a title (1 Mi characters).
inline constexpr long kEngineTitleCharacters = 1000;
inline constexpr long kLongestTitleCharacters = 1L << 20;

class PageTitle {
 public:
  explicit PageTitle(WebKitWebView* view);
  ~PageTitle();
  PageTitle(const PageTitle&) = delete;
  PageTitle& operator=(const PageTitle&) = delete;

  // The title of the page shown now, fit for a caption (see CaptionText); empty without one.
  const std::string& Text() const;

 private:
  void Changed();
  void ReadWhole();
  static constexpr std::chrono::milliseconds kReadInterval{250};

  WebKitWebView* view_;
  std::string engine_;  // the engine's title, as it came
  std::string whole_;   // the page's own title, read when the engine's was cut
  // What Text answers, made once for each title: a tick reads it twice a second.
  std::string engineText_, wholeText_;
  GObjectPtr<GCancellable> reading_;
  std::chrono::steady_clock::time_point lastRead_{};
  ScopedConnection nextRead_;
  SignalConnection changed_;
};

}  // namespace tavro::platform::gtk
