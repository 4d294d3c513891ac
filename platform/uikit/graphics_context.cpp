#include "platform/uikit/graphics_context.h"

#include <vector>

namespace ui {

namespace {
std::vector<cg::Context*>& stack() {
    thread_local std::vector<cg::Context*> contexts;
    return contexts;
}
} // namespace

cg::Context* graphicsGetCurrentContext() {
    return stack().empty() ? nullptr : stack().back();
}

void graphicsPushContext(cg::Context& context) {
    stack().push_back(&context);
}

void graphicsPopContext() {
    if (!stack().empty()) stack().pop_back();
}

} // namespace ui
