#pragma once
// The layout pass's solve step, private to the UIKit stand-in: one engine per window (or root of a
// detached tree), keeping one LayoutSolver in step with the tree from pass to pass.
//
// Variables. A view with translatesAutoresizingMaskIntoConstraints NO (other than the root) has
// x, y, width and height: its frame in its superview. Every other view is a constant: its frame as
// it stands. Each variable keeps a weak pull (an edit at kStayPriority) towards the value it had
// when it was made; code that sets the view's frame suggests the new value, nothing else does, so
// what no constraint decides keeps its value.
//
// Spaces. A constraint is evaluated in the space of the view that holds it: there that view's left
// and top are 0, its right and bottom its width and height; a descendant's left is the sum of the
// frame origins down the path, less the bounds origins. The relation stays linear, and a
// multiplier on a location is a proportion of the holder wherever the holder sits. A constraint
// whose item is gone, or is not the holder or inside it, is left out.
//
// Attributes. Leading and trailing are left and right; margin attributes read layoutMargins;
// baselines are the bottom. A ui::LayoutGuide spans its owning view's width, and 0 to its length
// (top) or H - length to H (bottom); any other item answering "owningView" stands for that view.
//
// Intrinsic size. Per axis with an intrinsic metric: size >= intrinsic at the compression
// resistance priority and size <= intrinsic at the hugging priority. After a solve, each view with
// variables is offered its solved width (View::adoptLayoutWidth); while the intrinsic sizes of
// those that took it move, the engine solves again, kWidthRounds solves at most (then it keeps the
// last answer and logs once).
//
// Incremental. Each pass rebuilds every relation's expression and compares it with what the
// solver holds: an equal one costs nothing, one whose constant alone moved is changed in place,
// anything else is replaced. A pass that changes nothing does not solve. A required constraint the
// solver refuses is logged once ("Unable to simultaneously satisfy constraints. Will attempt to
// recover by breaking constraint <description>") and left out until it changes.

#include <cstddef>
#include <memory>

namespace ui {
class View;
}

namespace ui::detail {

// The priority of the pulls that keep undecided variables where they are.
inline constexpr double kStayPriority = 1;

class LayoutEngine {
public:
    LayoutEngine();
    ~LayoutEngine();
    LayoutEngine(const LayoutEngine&) = delete;
    LayoutEngine& operator=(const LayoutEngine&) = delete;

    // Brings the solver in step with the tree under `root`, solves when anything changed and writes
    // the frames of the views with variables. Answers whether it solved.
    bool update(View& root);

    // How many passes solved; for tests.
    std::size_t solveCount() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The engine of the tree `view` belongs to, or null when none has run; for tests.
LayoutEngine* layoutEngineOf(const View& view);

} // namespace ui::detail
