#include "platform/graphics/recording_context.h"

#include <cstring>

namespace cg {

namespace {

// Objects a command holds: the same one, or equal ones.
bool same(const rt::Object* a, const rt::Object* b) {
    return a == b || (a && b && a->isEqual(b));
}

bool samePath(const Path* a, const Path* b) {
    return a == b || (a && b && a->elements() == b->elements());
}

bool sameState(const PaintState& a, const PaintState& b) {
    if (!(a.ctm == b.ctm && same(a.fillColor.get(), b.fillColor.get()) &&
          same(a.strokeColor.get(), b.strokeColor.get()) && a.alpha == b.alpha && a.lineWidth == b.lineWidth &&
          a.lineCap == b.lineCap && a.lineJoin == b.lineJoin && a.miterLimit == b.miterLimit &&
          a.dashPhase == b.dashPhase && a.dash == b.dash && a.shadow.offset == b.shadow.offset &&
          a.shadow.blur == b.shadow.blur && same(a.shadow.color.get(), b.shadow.color.get()) &&
          a.clips.size() == b.clips.size()))
        return false;
    for (std::size_t i = 0; i < a.clips.size(); ++i)
        if (!(a.clips[i].ctm == b.clips[i].ctm && a.clips[i].evenOdd == b.clips[i].evenOdd &&
              samePath(a.clips[i].path.get(), b.clips[i].path.get())))
            return false;
    return true;
}

bool sameRun(const GlyphRun* a, const GlyphRun* b) {
    return a == b || (a && b && same(a->font.get(), b->font.get()) && a->glyphs == b->glyphs &&
                      a->positions == b->positions && a->origin == b->origin && a->textMatrix == b->textMatrix &&
                      same(a->color.get(), b->color.get()) && a->strokeWidth == b->strokeWidth &&
                      same(a->strokeColor.get(), b->strokeColor.get()) && a->width == b->width);
}

// Mixes numbers into a 64-bit hash.
struct Mix {
    std::uint64_t h = 14695981039346656037ull;
    void operator()(std::uint64_t v) { h = (h ^ v) * 1099511628211ull; }
    void operator()(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        (*this)(bits);
    }
    void operator()(const AffineTransform& t) {
        for (double v : {t.a, t.b, t.c, t.d, t.tx, t.ty}) (*this)(v);
    }
};

} // namespace

bool DisplayList::operator==(const DisplayList& other) const {
    if (commands_.size() != other.commands_.size()) return false;
    for (std::size_t i = 0; i < commands_.size(); ++i) {
        const DrawCommand& a = commands_[i];
        const DrawCommand& b = other.commands_[i];
        if (!(a.kind == b.kind && a.rect == b.rect && samePath(a.path.get(), b.path.get()) &&
              sameRun(a.run.get(), b.run.get()) && same(a.image.get(), b.image.get()) && sameState(a.state, b.state)))
            return false;
    }
    return true;
}

std::uint64_t DisplayList::fingerprint() const {
    Mix mix;
    for (const DrawCommand& c : commands_) {
        mix(std::uint64_t(c.kind));
        mix(c.state.ctm);
        mix(c.state.alpha);
        for (const rt::Ref<Color>* colour : {&c.state.fillColor, &c.state.strokeColor})
            if (*colour) mix(std::uint64_t((*colour)->hash()));
        mix(std::uint64_t(c.state.clips.size()));
        if (c.path) {
            mix(std::uint64_t(c.path->elements().size()));
            for (const PathElement& e : c.path->elements()) mix(e.points[0].x), mix(e.points[0].y);
        }
        if (c.run) {
            mix(c.run->origin.x), mix(c.run->origin.y);
            for (std::uint32_t glyph : c.run->glyphs) mix(std::uint64_t(glyph));
        }
        mix(c.rect.minX()), mix(c.rect.minY()), mix(c.rect.width()), mix(c.rect.height());
    }
    return mix.h;
}

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
