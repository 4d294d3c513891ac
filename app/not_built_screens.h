#pragma once
// Stand-ins for the test screens that are not built yet: each catalogue screen with no class of
// its own gets a "not built" test screen under its name, which records the test as unsupported (2)
// when it first appears and goes on to the next test.

#include <string_view>

#include "platform/runtime/object.h"

namespace ns {
class Bundle;
}

namespace app {

// Registers a stand-in for every test scene of storyboard "Main" (a scene connecting the pass
// action) whose class is not registered, from `bundle` (nil: the main bundle); harmless when
// called again.
void registerNotBuiltScreens(const rt::Ref<ns::Bundle>& bundle = nullptr);
// Whether the class of that name is one of the stand-ins.
bool isNotBuiltScreen(std::string_view className);

} // namespace app
