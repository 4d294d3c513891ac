#include "platform/graphics/context.h"

#include <algorithm>
#include <cmath>

#include "platform/runtime/class.h"

namespace cg {

RT_DEFINE_CLASS(Font, "CGFont", rt::Object)

Context::Context() : path_(MutablePath::make()) {
    state_.fillColor = Color::black();
    state_.strokeColor = Color::black();
}

Context::~Context() = default;

void Context::saveGState() {
    saved_.push_back(state_);
}

void Context::restoreGState() {
    if (saved_.empty()) return;
    state_ = std::move(saved_.back());
    saved_.pop_back();
}

void Context::concatCTM(const AffineTransform& t) {
    state_.ctm = t.concat(state_.ctm);
}

void Context::setAlpha(double alpha) {
    state_.alpha = alpha != alpha ? 0 : std::clamp(alpha, 0.0, 1.0);
}

void Context::setLineWidth(double width) {
    if (width >= 0 && std::isfinite(width)) state_.lineWidth = width;
}

void Context::setLineDash(double phase, std::vector<double> lengths) {
    const bool solid = std::none_of(lengths.begin(), lengths.end(), [](double v) { return v > 0; }) ||
                       std::any_of(lengths.begin(), lengths.end(), [](double v) { return !(v >= 0) || !std::isfinite(v); });
    state_.dashPhase = solid ? 0 : phase;
    state_.dash = solid ? std::vector<double>{} : std::move(lengths);
}

void Context::setShadow(Size offset, double blur) {
    setShadowWithColor(offset, blur, Color::make(0, 0, 0, 1.0 / 3));
}

void Context::setShadowWithColor(Size offset, double blur, rt::Ref<Color> color) {
    state_.shadow = Shadow{offset, std::max(0.0, blur), std::move(color)};
}

void Context::beginPath() {
    path_ = MutablePath::make();
}

void Context::moveToPoint(double x, double y) {
    path_->moveTo({x, y});
}

void Context::addLineToPoint(double x, double y) {
    path_->addLineTo({x, y});
}

void Context::addCurveToPoint(double c1x, double c1y, double c2x, double c2y, double x, double y) {
    path_->addCurveTo({c1x, c1y}, {c2x, c2y}, {x, y});
}

void Context::addQuadCurveToPoint(double cx, double cy, double x, double y) {
    path_->addQuadCurveTo({cx, cy}, {x, y});
}

void Context::addArc(double x, double y, double radius, double startAngle, double endAngle, int clockwise) {
    path_->addArc({x, y}, radius, startAngle, endAngle, clockwise != 0);
}

void Context::addRect(const Rect& rect) {
    path_->addRect(rect);
}

void Context::addEllipseInRect(const Rect& rect) {
    path_->addEllipseInRect(rect);
}

void Context::addPath(const Path& path) {
    path_->addPath(path);
}

void Context::closePath() {
    path_->closeSubpath();
}

void Context::emit(DrawCommand::Kind kind, rt::Ref<Path> path) {
    DrawCommand command;
    command.kind = kind, command.state = state_, command.path = std::move(path);
    render(command);
}

void Context::drawPath(PathDrawingMode mode) {
    rt::Ref<Path> path = std::move(path_);
    path_ = MutablePath::make();
    if (path->isEmpty()) return;
    switch (mode) {
    case PathDrawingMode::Fill: return emit(DrawCommand::Kind::Fill, path);
    case PathDrawingMode::EOFill: return emit(DrawCommand::Kind::EOFill, path);
    case PathDrawingMode::Stroke: return emit(DrawCommand::Kind::Stroke, path);
    case PathDrawingMode::FillStroke:
        emit(DrawCommand::Kind::Fill, path);
        return emit(DrawCommand::Kind::Stroke, path);
    case PathDrawingMode::EOFillStroke:
        emit(DrawCommand::Kind::EOFill, path);
        return emit(DrawCommand::Kind::Stroke, path);
    }
}

void Context::fillRect(const Rect& rect) {
    emit(DrawCommand::Kind::Fill, Path::withRect(rect));
}

void Context::strokeRect(const Rect& rect) {
    emit(DrawCommand::Kind::Stroke, Path::withRect(rect));
}

void Context::fillEllipseInRect(const Rect& rect) {
    emit(DrawCommand::Kind::Fill, Path::withEllipseInRect(rect));
}

void Context::strokeLineSegments(const std::vector<Point>& points) {
    auto path = MutablePath::make();
    for (std::size_t i = 0; i + 1 < points.size(); i += 2) {
        path->moveTo(points[i]);
        path->addLineTo(points[i + 1]);
    }
    if (!path->isEmpty()) emit(DrawCommand::Kind::Stroke, path);
}

void Context::clip() {
    state_.clips.push_back({state_.ctm, path_->immutableCopy(), false});
    path_ = MutablePath::make();
}

void Context::eoClip() {
    state_.clips.push_back({state_.ctm, path_->immutableCopy(), true});
    path_ = MutablePath::make();
}

void Context::clipToRect(const Rect& rect) {
    state_.clips.push_back({state_.ctm, Path::withRect(rect), false});
}

void Context::drawImage(const Rect& rect, rt::Id image) {
    DrawCommand command;
    command.kind = DrawCommand::Kind::Image, command.state = state_, command.rect = rect, command.image = std::move(image);
    render(command);
}

void Context::showGlyphRun(GlyphRun run) {
    if (!run.font || run.glyphs.size() != run.positions.size()) return;
    run.origin = textPosition_;
    run.textMatrix = textMatrix_;
    if (!run.color) run.color = state_.fillColor;
    textPosition_.x += run.width;
    DrawCommand command;
    command.kind = DrawCommand::Kind::Glyphs, command.state = state_;
    command.run = std::make_shared<const GlyphRun>(std::move(run));
    render(command);
}

void Context::draw(const DrawCommand& command) {
    DrawCommand composed = command;
    composed.state.ctm = command.state.ctm.concat(state_.ctm);
    composed.state.alpha = command.state.alpha * state_.alpha;
    // The shadow's offset and blur are in device units: they grow with this context's scale.
    const double scale = std::sqrt(std::abs(state_.ctm.a * state_.ctm.d - state_.ctm.b * state_.ctm.c));
    composed.state.shadow.offset = {command.state.shadow.offset.width * scale, command.state.shadow.offset.height * scale};
    composed.state.shadow.blur = command.state.shadow.blur * scale;
    std::vector<Clip> clips = state_.clips;
    for (const Clip& c : command.state.clips)
        clips.push_back({c.ctm.concat(state_.ctm), c.path, c.evenOdd});
    composed.state.clips = std::move(clips);
    render(composed);
}

} // namespace cg
