#pragma once
// A picture of a view for a person to look at: build/test-artefacts/<name>.png (two pixels a
// point), its path printed with the test's output. A development aid; tests do not depend on it.

#include <string>

#include "platform/uikit/view.h"

namespace testkit {

// The path written, or empty when the picture could not be written (the reason is printed).
std::string snapshot(ui::View& view, const std::string& name);

} // namespace testkit
