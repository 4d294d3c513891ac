#include "app/not_built_screens.h"

namespace app {

void registerNotBuiltScreens() {}

bool isNotBuiltScreen(std::string_view) {
    return false;
}

} // namespace app
