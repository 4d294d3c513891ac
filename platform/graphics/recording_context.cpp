#include "platform/graphics/recording_context.h"

namespace cg {

void DisplayList::replay(Context& context) const {
    for (const DrawCommand& command : commands_)
        context.draw(command);
}

std::vector<const DrawCommand*> DisplayList::fills() const {
    std::vector<const DrawCommand*> out;
    for (const DrawCommand& c : commands_)
        if (c.kind == DrawCommand::Kind::Fill || c.kind == DrawCommand::Kind::EOFill) out.push_back(&c);
    return out;
}

std::vector<const DrawCommand*> DisplayList::ofKind(DrawCommand::Kind kind) const {
    std::vector<const DrawCommand*> out;
    for (const DrawCommand& c : commands_)
        if (c.kind == kind) out.push_back(&c);
    return out;
}

Point deviceOf(const DrawCommand& command, Point p) {
    return command.state.ctm.apply(p);
}

std::vector<Point> glyphOrigins(const DrawCommand& command) {
    std::vector<Point> out;
    if (!command.run) return out;
    for (Point p : command.run->positions)
        out.push_back(command.state.ctm.apply(textSpaceToUser(*command.run, p)));
    return out;
}

} // namespace cg
