#pragma once
// The scanner screen's two glyph buttons, drawn with vector paths: qr::CameraSwitchButton
// ("QRCameraSwitchButton", a camera between two arrows) and qr::ToggleTorchButton
// ("QRToggleTorchButton", a disc with eight rays). Each picks its fill F and edge E colour at every
// draw: the highlighted pair when the state is exactly highlighted, else the normal pair. F fills
// and E strokes, with lines of width 2. Every touch phase redraws the button. Main thread only.

#include "platform/uikit/button.h"
#include "platform/uikit/color.h"

namespace ui {
class BezierPath;
}

namespace qr {

// The four colours both buttons share.
class GlyphButton : public ui::Button {
    RT_CLASS(GlyphButton)
public:
    const rt::Ref<ui::Color>& edgeColor() const noexcept { return edgeColor_; }
    void setEdgeColor(rt::Ref<ui::Color> color) { edgeColor_ = std::move(color); }
    const rt::Ref<ui::Color>& fillColor() const noexcept { return fillColor_; }
    void setFillColor(rt::Ref<ui::Color> color) { fillColor_ = std::move(color); }
    const rt::Ref<ui::Color>& edgeHighlightedColor() const noexcept { return edgeHighlightedColor_; }
    void setEdgeHighlightedColor(rt::Ref<ui::Color> color) { edgeHighlightedColor_ = std::move(color); }
    const rt::Ref<ui::Color>& fillHighlightedColor() const noexcept { return fillHighlightedColor_; }
    void setFillHighlightedColor(rt::Ref<ui::Color> color) { fillHighlightedColor_ = std::move(color); }

    void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;

protected:
    explicit GlyphButton(const cg::Rect& frame);
    // F and E for the state now.
    const rt::Ref<ui::Color>& currentFill() const;
    const rt::Ref<ui::Color>& currentEdge() const;
    // Fills `path` with F, then strokes it with E at width 2.
    void paint(const ui::BezierPath& path) const;

private:
    rt::Ref<ui::Color> edgeColor_, fillColor_, edgeHighlightedColor_, fillHighlightedColor_;
};

class CameraSwitchButton final : public GlyphButton {
    RT_CLASS(CameraSwitchButton)
public:
    static rt::Ref<CameraSwitchButton> make(const cg::Rect& frame = cg::Rect::zero());
    // Right arrow, body, outer lens (E), inner lens (F), viewfinder hump, left arrow.
    void drawRect(const cg::Rect& rect) override;

    explicit CameraSwitchButton(const cg::Rect& frame);
};

class ToggleTorchButton final : public GlyphButton {
    RT_CLASS(ToggleTorchButton)
public:
    static rt::Ref<ToggleTorchButton> make(const cg::Rect& frame = cg::Rect::zero());
    // Eight rays stroked with E, then the disc filled with F and stroked with E.
    void drawRect(const cg::Rect& rect) override;
    // A line from `start` to `end` with round caps and that width.
    static rt::Ref<ui::BezierPath> linePathWithStartPoint(cg::Point start, cg::Point end, double thickness);

    explicit ToggleTorchButton(const cg::Rect& frame);
};

} // namespace qr
