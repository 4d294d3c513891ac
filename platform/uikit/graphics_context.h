#pragma once
// The current graphics context: a stack per thread (drawing happens on the main thread). The
// display pass makes its context current around each drawRect; image contexts push theirs.

#include "platform/graphics/context.h"

namespace ui {

// Nil when nothing is drawing.
cg::Context* graphicsGetCurrentContext();
void graphicsPushContext(cg::Context& context);
// Unbalanced pops are ignored.
void graphicsPopContext();

// Makes a context current for a scope.
class CurrentGraphicsContext {
public:
    explicit CurrentGraphicsContext(cg::Context& context) { graphicsPushContext(context); }
    ~CurrentGraphicsContext() { graphicsPopContext(); }
    CurrentGraphicsContext(const CurrentGraphicsContext&) = delete;
    CurrentGraphicsContext& operator=(const CurrentGraphicsContext&) = delete;
};

} // namespace ui
