#pragma once
// ca::Layer ("CALayer") and ca::ShapeLayer ("CAShapeLayer"), as data: a frame in the superlayer,
// hidden, a background colour, a corner radius, a border and sublayers; a shape layer adds a path
// (in its own coordinates), fill and stroke colours, a line width, join and dash pattern. A layer
// draws its background within its rounded outline, then its content, its sublayers, and its
// border over all of them, inside the outline. A view draws its background and border by its
// layer's corner radius and border, and its layer's sublayers over its subviews (ui::renderView).
// Main thread only.

#include <vector>

#include "platform/graphics/context.h"

namespace ca {

class Layer : public rt::Object {
    RT_CLASS(Layer)
public:
    static rt::Ref<Layer> make() { return rt::make<Layer>(); }

    const cg::Rect& frame() const noexcept { return frame_; }
    void setFrame(const cg::Rect& frame) { frame_ = frame; }
    bool isHidden() const noexcept { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    const rt::Ref<cg::Color>& backgroundColor() const noexcept { return background_; }
    void setBackgroundColor(rt::Ref<cg::Color> color) { background_ = std::move(color); }
    // Negative and non-finite values are taken as 0.
    double cornerRadius() const noexcept { return cornerRadius_; }
    void setCornerRadius(double radius);
    // Whether a view's drawing, its subviews' included, is held inside the rounded outline.
    bool masksToBounds() const noexcept { return masksToBounds_; }
    void setMasksToBounds(bool masks) noexcept { masksToBounds_ = masks; }
    double borderWidth() const noexcept { return borderWidth_; }
    void setBorderWidth(double width);
    // Black unless set.
    const rt::Ref<cg::Color>& borderColor() const noexcept { return borderColor_; }
    void setBorderColor(rt::Ref<cg::Color> color) { borderColor_ = std::move(color); }

    const std::vector<rt::Ref<Layer>>& sublayers() const noexcept { return sublayers_; }
    rt::Ref<Layer> superlayer() const { return superlayer_.lock(); }
    // Moves the layer here from another superlayer; a layer cannot hold itself or an ancestor.
    void addSublayer(const rt::Ref<Layer>& layer);
    // The same at `index` among the sublayers (past the end: in front of them all).
    void insertSublayerAtIndex(const rt::Ref<Layer>& layer, std::size_t index);
    void removeFromSuperlayer();

    // Draws the layer (unless hidden) and its sublayers, in the superlayer's coordinates.
    void renderInContext(cg::Context& context) const;
    // The background and the border of a rectangle (in the context's present space) with this
    // layer's corner radius and border: how a view draws its own.
    void fillBackground(cg::Context& context, const cg::Rect& rect, const rt::Ref<cg::Color>& color) const;
    void strokeBorder(cg::Context& context, const cg::Rect& rect) const;

    Layer();

protected:
    // The layer's own content, in its coordinates. The default draws nothing.
    virtual void drawInContext(cg::Context& context) const { (void)context; }

private:
    cg::Rect frame_;
    bool hidden_ = false;
    rt::Ref<cg::Color> background_;
    double cornerRadius_ = 0;
    bool masksToBounds_ = false;
    double borderWidth_ = 0;
    rt::Ref<cg::Color> borderColor_;
    std::vector<rt::Ref<Layer>> sublayers_;
    rt::Weak<Layer> superlayer_;
};

class ShapeLayer final : public Layer {
    RT_CLASS(ShapeLayer)
public:
    static rt::Ref<ShapeLayer> make() { return rt::make<ShapeLayer>(); }

    const rt::Ref<cg::Path>& path() const noexcept { return path_; }
    void setPath(rt::Ref<cg::Path> path) { path_ = std::move(path); }
    // Black unless set; nil fills nothing.
    const rt::Ref<cg::Color>& fillColor() const noexcept { return fill_; }
    void setFillColor(rt::Ref<cg::Color> color) { fill_ = std::move(color); }
    // Nil (no stroke) unless set.
    const rt::Ref<cg::Color>& strokeColor() const noexcept { return stroke_; }
    void setStrokeColor(rt::Ref<cg::Color> color) { stroke_ = std::move(color); }
    double lineWidth() const noexcept { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }
    // Miter unless set.
    cg::LineJoin lineJoin() const noexcept { return lineJoin_; }
    void setLineJoin(cg::LineJoin join) { lineJoin_ = join; }
    // Lengths drawn and skipped in turn, starting `lineDashPhase` into the pattern; empty: solid.
    const std::vector<double>& lineDashPattern() const noexcept { return dash_; }
    void setLineDashPattern(std::vector<double> lengths) { dash_ = std::move(lengths); }
    double lineDashPhase() const noexcept { return dashPhase_; }
    void setLineDashPhase(double phase) { dashPhase_ = phase; }

    ShapeLayer() : fill_(cg::Color::black()) {}

protected:
    void drawInContext(cg::Context& context) const override;

private:
    rt::Ref<cg::Path> path_;
    rt::Ref<cg::Color> fill_;
    rt::Ref<cg::Color> stroke_;
    double lineWidth_ = 1;
    cg::LineJoin lineJoin_ = cg::LineJoin::Miter;
    std::vector<double> dash_;
    double dashPhase_ = 0;
};

} // namespace ca
