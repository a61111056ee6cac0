// The stored design of the main window Form1.
#pragma once

#include "platform/design.h"

namespace tavro::app {

const platform::FormDesign& Form1Design();

}  // namespace tavro::app
