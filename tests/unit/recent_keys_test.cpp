// Key events told apart by their stamps, and the short memory of the last ones.
#include "recent_keys.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavro::platform::gtk {
namespace {

GdkEventKey KeyAt(guint32 time) {
  GdkEventKey key{};
  key.type = GDK_KEY_PRESS;
  key.keyval = GDK_KEY_v;
  key.state = GDK_CONTROL_MASK;
  key.hardware_keycode = 55;
  key.time = time;
  return key;
}

TEST(RecentKeysTest, TheEnginesCopyOfAKeyIsKnownAndAKeyDifferingInAnyStampIsNot) {
  RecentKeys keys;
  const GdkEventKey pressed = KeyAt(1000);
  EXPECT_FALSE(keys.Contains(&pressed));
  keys.Add(&pressed);

  // The copy that comes back is another event with the same stamps, sent again, maybe to another
  // window by then.
  GdkEventKey copy = pressed;
  copy.send_event = TRUE;
  copy.window = reinterpret_cast<GdkWindow*>(&copy);
  EXPECT_TRUE(keys.Contains(&copy));

  struct Change {
    const char* what;
    void (*apply)(GdkEventKey&);
  };
  const Change changes[] = {
      {"its release", [](GdkEventKey& k) { k.type = GDK_KEY_RELEASE; }},
      {"another key", [](GdkEventKey& k) { k.keyval = GDK_KEY_c; }},
      {"without Ctrl", [](GdkEventKey& k) { k.state = 0; }},
      {"with Shift too", [](GdkEventKey& k) { k.state |= GDK_SHIFT_MASK; }},
      {"another key code", [](GdkEventKey& k) { k.hardware_keycode = 54; }},
      {"the same key again a moment later", [](GdkEventKey& k) { k.time += 1; }},
  };
  for (const Change& change : changes) {
    GdkEventKey other = pressed;
    change.apply(other);
    EXPECT_FALSE(keys.Contains(&other)) << change.what;
  }
}

TEST(RecentKeysTest, OnlyTheLastThirtyTwoKeysAreRemembered) {
  RecentKeys keys;
  std::vector<GdkEventKey> typed;
  for (guint32 i = 0; i < 40; ++i) typed.push_back(KeyAt(5000 + i));
  for (const GdkEventKey& key : typed) keys.Add(&key);
  for (std::size_t i = 0; i < typed.size(); ++i) EXPECT_EQ(keys.Contains(&typed[i]), i >= 8) << "key " << i;
}

}  // namespace
}  // namespace tavro::platform::gtk
