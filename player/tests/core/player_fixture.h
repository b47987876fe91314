#pragma once

#include "fakes/player_rig.h"
#include "fakes/qt_printers.h"

#include <gtest/gtest.h>

namespace velloran::testing {

/// A player over fakes, with a scratch folder for files it opens.
class PlayerTest : public ::testing::Test, protected PlayerRig {};

} // namespace velloran::testing
