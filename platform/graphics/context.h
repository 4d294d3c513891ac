#pragma once
// cg::Context: the one drawing interface. The context keeps the graphics state (a stack saved and
// restored with saveGState/restoreGState) and the path being built; each fill, stroke, image or
// glyph run becomes one cg::DrawCommand that carries the whole paint state it was made under, and
// goes to the concrete context's render(): cg::RecordingContext keeps it in a display list,
// cg::RasterContext paints it into pixels.
//
// The path is built in user space under the CTM current when it is painted (change the CTM before
// beginning a path, not half-way through). Colours are cg::Color; nil paints nothing.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/affine_transform.h"
#include "platform/graphics/color.h"
#include "platform/graphics/font.h"
#include "platform/graphics/path.h"

namespace cg {

enum class LineCap : std::uint8_t { Butt = 0, Round = 1, Square = 2 };
enum class LineJoin : std::uint8_t { Miter = 0, Round = 1, Bevel = 2 };
enum class PathDrawingMode : std::uint8_t { Fill = 0, EOFill = 1, Stroke = 2, FillStroke = 3, EOFillStroke = 4 };

struct Shadow {
    Size offset;
    double blur = 0;
    rt::Ref<Color> color; // nil: no shadow
    bool isSet() const noexcept { return color && color->alpha() > 0; }
};

// One clip: the path (in the user space of `ctm`) that drawing is held inside.
struct Clip {
    AffineTransform ctm;
    rt::Ref<Path> path;
    bool evenOdd = false;
};

struct PaintState {
    AffineTransform ctm;
    rt::Ref<Color> fillColor;
    rt::Ref<Color> strokeColor;
    double alpha = 1;
    double lineWidth = 1;
    LineCap lineCap = LineCap::Butt;
    LineJoin lineJoin = LineJoin::Miter;
    double miterLimit = 10;
    double dashPhase = 0;
    std::vector<double> dash;
    Shadow shadow;
    std::vector<Clip> clips; // every one holds
};

// Glyphs of one font at one baseline, as a text run is shown. Positions are in text space,
// relative to `origin` (the text position when the run was shown), y up; `textMatrix` maps text
// space into user space.
struct GlyphRun {
    rt::Ref<Font> font;
    std::vector<std::uint32_t> glyphs;
    std::vector<Point> positions;
    Point origin;
    AffineTransform textMatrix;
    rt::Ref<Color> color; // the fill it is painted with
    double strokeWidth = 0; // > 0: outlined with strokeColor instead of filled (in points)
    rt::Ref<Color> strokeColor;
    double width = 0; // the run's advance
};

// Text space to user space for a run: the text matrix, then the text position it was shown at.
inline Point textSpaceToUser(const GlyphRun& run, Point p) {
    const Point m = run.textMatrix.apply(p);
    return {m.x + run.origin.x, m.y + run.origin.y};
}

struct DrawCommand {
    enum class Kind : std::uint8_t { Fill, EOFill, Stroke, Glyphs, Image };
    Kind kind = Kind::Fill;
    PaintState state;
    rt::Ref<Path> path;                  // Fill, EOFill, Stroke
    std::shared_ptr<const GlyphRun> run; // Glyphs
    Rect rect;                           // Image: where
    rt::Id image;                        // Image: what (its class's business)
};

class Context {
public:
    Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    virtual ~Context();

    // ---- State ----
    void saveGState();
    // Unbalanced restores are ignored.
    void restoreGState();
    const PaintState& state() const noexcept { return state_; }
    const AffineTransform& ctm() const noexcept { return state_.ctm; }
    // The transform applies before the present CTM (the platform's order).
    void concatCTM(const AffineTransform& t);
    void translateCTM(double tx, double ty) { concatCTM(AffineTransform::identity().translate(tx, ty)); }
    void scaleCTM(double sx, double sy) { concatCTM(AffineTransform::identity().scale(sx, sy)); }
    void rotateCTM(double radians) { concatCTM(AffineTransform::identity().rotate(radians)); }
    // The text matrix and position are not part of the saved state, as on the platform.
    const AffineTransform& textMatrix() const noexcept { return textMatrix_; }
    void setTextMatrix(const AffineTransform& t) { textMatrix_ = t; }
    Point textPosition() const noexcept { return textPosition_; }
    void setTextPosition(double x, double y) { textPosition_ = {x, y}; }

    void setFillColor(rt::Ref<Color> color) { state_.fillColor = std::move(color); }
    void setStrokeColor(rt::Ref<Color> color) { state_.strokeColor = std::move(color); }
    void setRGBFillColor(double r, double g, double b, double a) { setFillColor(Color::make(r, g, b, a)); }
    void setRGBStrokeColor(double r, double g, double b, double a) { setStrokeColor(Color::make(r, g, b, a)); }
    // Held to 0...1.
    void setAlpha(double alpha);
    // Negative or non-finite widths are ignored.
    void setLineWidth(double width);
    void setLineCap(LineCap cap) { state_.lineCap = cap; }
    void setLineJoin(LineJoin join) { state_.lineJoin = join; }
    void setMiterLimit(double limit) { state_.miterLimit = limit; }
    // No lengths (or only zeros): a solid line.
    void setLineDash(double phase, std::vector<double> lengths);
    // The platform's default shadow colour is black at a third.
    void setShadow(Size offset, double blur);
    void setShadowWithColor(Size offset, double blur, rt::Ref<Color> color);

    // ---- The path ----
    void beginPath();
    void moveToPoint(double x, double y);
    void addLineToPoint(double x, double y);
    void addCurveToPoint(double c1x, double c1y, double c2x, double c2y, double x, double y);
    void addQuadCurveToPoint(double cx, double cy, double x, double y);
    // `clockwise` 1 decreases the angle (y up), as the platform's does.
    void addArc(double x, double y, double radius, double startAngle, double endAngle, int clockwise);
    void addRect(const Rect& rect);
    void addEllipseInRect(const Rect& rect);
    void addPath(const Path& path);
    void closePath();
    bool isPathEmpty() const noexcept { return path_->isEmpty(); }
    rt::Ref<Path> copyPath() const { return path_->immutableCopy(); }

    // ---- Painting: each consumes the path ----
    void fillPath() { drawPath(PathDrawingMode::Fill); }
    void eoFillPath() { drawPath(PathDrawingMode::EOFill); }
    void strokePath() { drawPath(PathDrawingMode::Stroke); }
    void drawPath(PathDrawingMode mode);
    void fillRect(const Rect& rect);
    void strokeRect(const Rect& rect);
    void fillEllipseInRect(const Rect& rect);
    void strokeLineSegments(const std::vector<Point>& points);
    // Intersects the clip with the path, or a rectangle (the path is consumed / kept).
    void clip();
    void eoClip();
    void clipToRect(const Rect& rect);
    void drawImage(const Rect& rect, rt::Id image);
    // Shows the glyphs at the text position with the text matrix; the run's colour, when nil, is
    // the fill colour.
    void showGlyphRun(GlyphRun run);

    // Draws one recorded command under this context's state: its CTM after this one's, its clips
    // added to this one's, alpha multiplied.
    void draw(const DrawCommand& command);

protected:
    virtual void render(const DrawCommand& command) = 0;

private:
    void emit(DrawCommand::Kind kind, rt::Ref<Path> path);

    PaintState state_;
    std::vector<PaintState> saved_;
    rt::Ref<MutablePath> path_;
    AffineTransform textMatrix_;
    Point textPosition_;
};

} // namespace cg
