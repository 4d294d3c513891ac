#pragma once
// ft::TouchScreenViewController ("TouchScreenViewController"): the touch grid test (key
// "TOUCH_SCREEN"). The screen is covered by an ft::SJTouchView: five square blue cells a row, as
// many whole rows as fit, a dashed white guide along the cells' inner borders and the grid's
// bottom edge. The tester wipes a finger over the screen; each cell under a reported touch turns
// green, and when the finger lifts with every cell green the test passes (1). A skip button, 100 x
// 40 and centred in a white bar below the grid (the bar is as high as the screen's height modulo
// the truncated cell side), fails it (2). While the screen shows, the navigation bar, the status
// bar and the YES/NO buttons are hidden; they come back as it goes. No timer, no question. Main
// thread only.

#include <functional>

#include "platform/uikit/button.h"
#include "session/base_model_view_controller.h"

namespace ft {

// One cell of the grid ("SJTouchButton"): a button that takes no touches (each initialiser turns
// interaction off), so every touch reaches the grid behind it.
class SJTouchButton : public ui::Button {
    RT_CLASS(SJTouchButton)
public:
    static rt::Ref<SJTouchButton> buttonWithType(ui::ButtonType type);
    bool isTouched() const noexcept { return touched_; }
    void setIsTouched(bool touched);

protected:
    SJTouchButton();
    explicit SJTouchButton(const cg::Rect& frame, ui::ButtonType type = ui::ButtonType::Custom);
    ~SJTouchButton() override;

private:
    bool touched_ = false;
};

// The grid ("SJTouchView"). Its only subviews are its cells, row by row, left to right; its layer's
// one sublayer is the guide. One touch of each delivered set counts (ns::Set::anyObject): its
// location marks every cell whose frame holds it (minimum edges in, maximum out), with no
// interpolation between locations. At each touch end, once every cell is marked and the grid has
// not yet told, it logs "all Touch" and, when a block is set, calls it and remembers that it told
// (a nil block: the log at every such end, and nothing remembered). Cancelled touches run no check.
class SJTouchView : public ui::View {
    RT_CLASS(SJTouchView)
public:
    using OnAllTouch = std::function<void(const rt::Ref<SJTouchView>& view)>;

    // The grid for `frame`, with its cells and guide, calling `onAllTouch` when all are touched.
    static rt::Ref<SJTouchView> touchView(const cg::Rect& frame, OnAllTouch onAllTouch);

    cg::Point currentPoint() const noexcept { return currentPoint_; }
    bool hasNotify() const noexcept { return hasNotify_; }
    const OnAllTouch& onTouchView() const noexcept { return onTouchView_; }
    void setOnTouchView(OnAllTouch block) { onTouchView_ = std::move(block); }

    // Marks every cell whose frame holds `point` (the grid's coordinates).
    void checkResultWithCGPoint(cg::Point point);
    // Every cell blue and untouched again; the grid may tell again.
    void reset();
    // Unless set, the cells left, for whoever reads the screen from outside (a tester, the
    // accessibility services): "cells left: 7 of 40: rows 1-2; row 8 columns 2-3" (rows from the
    // top, columns from the left, from 1), "cells left: none of 40".
    rt::Ref<ns::String> accessibilityValue() const override;

    void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;

protected:
    explicit SJTouchView(const cg::Rect& frame);

private:
    void setupButtons();
    void drawDashedLine();
    // The touch of the set reported to the grid: its location is the current point and is checked.
    void report(const rt::Ref<ns::Set>& touches);
    void checkAllTouched();

    cg::Point currentPoint_;
    bool hasNotify_ = false;
    OnAllTouch onTouchView_;
};

class TouchScreenViewController : public BaseModelViewController {
    RT_CLASS(TouchScreenViewController)
public:
    // Never set: the layout log reports its zero frame.
    const rt::Ref<ui::Button>& button() const noexcept { return button_; }
    void setButton(rt::Ref<ui::Button> button);
    // Outlets a tester script reaches: the grid, whose subviews are its cells, and the skip button.
    rt::Ref<SJTouchView> touchView() const { return touchView_.lock(); }
    rt::Ref<ui::Button> skipButton() const { return skipButton_.lock(); }

protected:
    TouchScreenViewController();
    void viewDidLoadBody() override;
    void viewWillDisappearBody(bool animated) override;
    void viewDidLayoutSubviews() override;

private:
    rt::Ref<ui::Button> button_;
    rt::Weak<SJTouchView> touchView_;
    rt::Weak<ui::Button> skipButton_;
};

} // namespace ft
