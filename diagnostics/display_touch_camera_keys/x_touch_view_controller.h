#pragma once
// ft::XTouchViewController ("XTouchViewController"): the touch canvas test. The screen is covered by
// a transparent ft::XCanvas: rounded blue cells along the screen's four edges and its two
// diagonals, black ink where the finger goes, drawn by an ft::XMaskView above the cells. Each cell
// under a reported touch turns green; when the finger lifts with every cell green the test passes
// (1), once. A skip button, centred, its bottom 80 points above the screen's, fails it (2). While
// the screen shows, the navigation and status bars are hidden (the YES/NO buttons stay, under the
// canvas, which takes their touches). No catalogue row opens it: a hand-made item does. Main
// thread only.

#include <functional>

#include "platform/graphics/path.h"
#include "platform/uikit/button.h"
#include "session/base_model_view_controller.h"

namespace cg {
class Context;
}

namespace ft {

// One cell ("XItem"): a button that takes no touches (each initialiser turns interaction off).
class XItem : public ui::Button {
    RT_CLASS(XItem)
public:
    static rt::Ref<XItem> buttonWithType(ui::ButtonType type);
    bool isTouched() const noexcept { return touched_; }
    void setIsTouched(bool touched);

protected:
    XItem();
    explicit XItem(const cg::Rect& frame, ui::ButtonType type = ui::ButtonType::Custom);
    ~XItem() override;

private:
    bool touched_ = false;
};

// The ink surface ("XMaskView"): clear, takes no touches, and draws by its block.
class XMaskView : public ui::View {
    RT_CLASS(XMaskView)
public:
    using DrawBlock = std::function<void(const rt::Ref<XMaskView>& view, cg::Context* context)>;
    static rt::Ref<XMaskView> maskViewWithFrame(const cg::Rect& frame, DrawBlock block);
    const DrawBlock& drawBlock() const noexcept { return drawBlock_; }
    void setDrawBlock(DrawBlock block) { drawBlock_ = std::move(block); }
    // Calls the block, when set, with the current graphics context.
    void drawRect(const cg::Rect& rect) override;

protected:
    explicit XMaskView(const cg::Rect& frame);

private:
    DrawBlock drawBlock_;
};

// The canvas ("XCanvas"). With W its width, s = W / 13 the cells' side, and from the main screen n
// = trunc(height / s) and d = width / n: 13 cells along the top, n - 2 down the right, 13 along
// the bottom row (y (n - 1)s), n - 2 down the left, then n - 3 on each diagonal (k·d, k·s) and
// (width - s - k·d, k·s): 4n + 16 in all, laid out for the whole screen. One touch of each set
// counts; its location marks every cell holding it before anything else. The ink: a move less
// than 5 points from the last ink point adds none; otherwise a quadratic segment from the midpoint
// of the two previous locations to the midpoint of the previous and the new one, through the
// previous, goes into `path` (which only grows), and its box grown by 10 is drawn again. At a
// touch end with every cell green and a block set, the block runs, once. Cancelled touches run no
// check.
class XCanvas : public ui::View {
    RT_CLASS(XCanvas)
public:
    using OnAllTouch = std::function<void(const rt::Ref<XCanvas>& canvas)>;

    static rt::Ref<XCanvas> touchView(const cg::Rect& frame, OnAllTouch onAllTouch);

    const OnAllTouch& onTouchView() const noexcept { return onTouchView_; }
    void setOnTouchView(OnAllTouch block) { onTouchView_ = std::move(block); }
    bool hasNotify() const noexcept { return hasNotify_; }
    cg::Point currentPoint() const noexcept { return currentPoint_; }
    cg::Point previousPoint() const noexcept { return previousPoint_; }
    cg::Point previousPreviousPoint() const noexcept { return previousPreviousPoint_; }
    // All the ink so far.
    const rt::Ref<cg::MutablePath>& path() const noexcept { return path_; }
    // Made on first use, as large as the canvas; strokes `path` 2 wide, black, round capped.
    const rt::Ref<XMaskView>& maskView();

    // The cells of the ring and the X, added in order.
    void createBorderItem();
    // One diagonal of 20-point cells from the top left (nothing sends it).
    void createNWtoESItems();
    // A cell with the look of them all, not yet added.
    rt::Ref<XItem> buildItemWithCGRect(const cg::Rect& rect) const;
    // Marks every cell (button) whose frame holds `point`.
    void checkResultWithCGPoint(cg::Point point);

    void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;

protected:
    explicit XCanvas(const cg::Rect& frame);
    void layoutSubviews() override;

private:
    bool allTouched() const;

    OnAllTouch onTouchView_;
    bool hasNotify_ = false;
    cg::Point currentPoint_, previousPoint_, previousPreviousPoint_;
    rt::Ref<cg::MutablePath> path_;
    rt::Ref<XMaskView> maskView_;
};

class XTouchViewController : public BaseModelViewController {
    RT_CLASS(XTouchViewController)
protected:
    XTouchViewController();
    void viewDidLoadBody() override;
    void viewWillDisappearBody(bool animated) override;
};

} // namespace ft
