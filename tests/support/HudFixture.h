#pragma once
// The HUD tests' world: the same store over virtual pads as the store tests.

#include "support/StoreRig.h"

namespace keyglass::test {

using HudFixture = StoreRig;

} // namespace keyglass::test
