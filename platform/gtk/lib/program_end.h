// The end of the program as the toolkit's clocks count it.
#pragma once

#include <chrono>

#include "platform/forms.h"

namespace tavro::platform::gtk {

// How long an ending program gives its logout.
inline constexpr auto kLogoutWait =
    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<float>(kLogoutWaitSeconds));

}  // namespace tavro::platform::gtk
