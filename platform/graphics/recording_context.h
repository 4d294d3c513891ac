#pragma once
// cg::RecordingContext records every draw into a cg::DisplayList; replay(context) plays the list
// into any context (a raster context makes a picture of it). Tests ask the list what was drawn:
// strokes(), fills(), textRuns(), images().

#include <cstdint>
#include <vector>

#include "platform/graphics/context.h"

namespace cg {

class DisplayList {
public:
    const std::vector<DrawCommand>& commands() const noexcept { return commands_; }
    bool isEmpty() const noexcept { return commands_.empty(); }
    std::size_t size() const noexcept { return commands_.size(); }
    void append(DrawCommand command) { commands_.push_back(std::move(command)); }
    void clear() { commands_.clear(); }

    // Each draw once, in order, under `context`'s state.
    void replay(Context& context) const;

    // Whether two lists draw the same: the same commands in order, each with an equal paint
    // state, path, glyph run (fonts equal by isEqual), rectangle and image (the same object, or
    // isEqual). Equal lists paint equal pictures.
    bool operator==(const DisplayList& other) const;
    // A hash of what the list draws: equal lists have equal fingerprints.
    std::uint64_t fingerprint() const;

    // The commands of one kind, in order.
    std::vector<const DrawCommand*> strokes() const { return ofKind(DrawCommand::Kind::Stroke); }
    // Fills, even-odd ones included.
    std::vector<const DrawCommand*> fills() const;
    std::vector<const DrawCommand*> textRuns() const { return ofKind(DrawCommand::Kind::Glyphs); }
    std::vector<const DrawCommand*> images() const { return ofKind(DrawCommand::Kind::Image); }
    std::vector<const DrawCommand*> ofKind(DrawCommand::Kind kind) const;

private:
    std::vector<DrawCommand> commands_;
};

class RecordingContext final : public Context {
public:
    const DisplayList& displayList() const noexcept { return list_; }
    DisplayList takeDisplayList() { return std::move(list_); }

protected:
    void render(const DrawCommand& command) override { list_.append(command); }

private:
    DisplayList list_;
};

// Where a recorded point lands in the user space the draw began in (its CTM applied).
Point deviceOf(const DrawCommand& command, Point p);
// The recorded glyph run's glyph origins in device space (text matrix, origin and CTM applied).
std::vector<Point> glyphOrigins(const DrawCommand& command);

} // namespace cg
