// ui::View's partial display pass and its old-style animations (view.h says what they do).

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/string.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/number.h"
#include "platform/uikit/delegate_messages.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/transaction.h"
#include "platform/uikit/view.h"

namespace ui {

namespace detail {

struct PartialDisplay {
    cg::Rect dirty = cg::Rect::null();
    bool queued = false;
    std::size_t passes = 0;
    std::unique_ptr<cg::DisplayList> last;
};

// The views whose display pass is queued, for a transaction flush.
std::vector<rt::Weak<View>>& queuedDisplays() {
    static std::vector<rt::Weak<View>> views;
    return views;
}

} // namespace detail

void View::setNeedsDisplayInRect(const cg::Rect& rect) {
    if (rect.isEmpty()) return;
    if (!partial_) partial_ = std::make_shared<detail::PartialDisplay>();
    detail::PartialDisplay& partial = *partial_;
    partial.dirty = partial.dirty.isNull() ? rect.standardized() : partial.dirty.unionWith(rect);
    setNeedsDisplay();
    if (partial.queued) return;
    partial.queued = true;
    detail::queuedDisplays().emplace_back(rt::retained(this));
    dispatch::async(dispatch::Queue::main(), [weak = rt::Weak<View>(rt::retained(this))] {
        // This pass leaves the flush list (with any view gone meanwhile).
        std::erase_if(detail::queuedDisplays(), [&](const rt::Weak<View>& queued) {
            rt::Ref<View> other = queued.lock();
            return !other || other == weak.lock();
        });
        if (rt::Ref<View> view = weak.lock()) {
            view->partial_->queued = false;
            view->displayIfNeeded();
        }
    });
}

cg::Rect View::dirtyRect() const {
    return partial_ ? partial_->dirty : cg::Rect::null();
}

void View::displayIfNeeded() {
    if (!partial_ || partial_->dirty.isNull()) return;
    const rt::Ref<View> keep = rt::retained(this); // drawRect may let the view go
    const cg::Rect rect = partial_->dirty;
    partial_->dirty = cg::Rect::null();
    cg::RecordingContext context;
    context.translateCTM(-bounds_.origin.x, -bounds_.origin.y);
    context.clipToRect(rect);
    {
        CurrentGraphicsContext current(context);
        drawRect(rect);
    }
    partial_->last = std::make_unique<cg::DisplayList>(context.takeDisplayList());
    ++partial_->passes;
    didDisplay();
}

const cg::DisplayList* View::lastDisplay() const {
    return partial_ ? partial_->last.get() : nullptr;
}

std::size_t View::displayPassCount() const {
    return partial_ ? partial_->passes : 0;
}

// ---- Old-style animations ----------------------------------------------------------------------

namespace {

struct OldStyleAnimation {
    rt::Ref<ns::String> name;
    rt::Id context{};
    double duration = 0.2;
    rt::Weak<rt::Object> delegate{};
};

// Main thread only; immortal, as the blocks queued may outlive static destruction.
std::vector<OldStyleAnimation>& oldStyleBegun() {
    static auto* begun = new std::vector<OldStyleAnimation>;
    return *begun;
}

std::size_t& oldStyleInFlight() {
    static std::size_t count = 0;
    return count;
}

} // namespace

void View::beginAnimations(rt::Ref<ns::String> animationID, rt::Id context) {
    oldStyleBegun().push_back({.name = std::move(animationID), .context = std::move(context)});
}

void View::setAnimationDuration(double duration) {
    if (!oldStyleBegun().empty() && std::isfinite(duration)) oldStyleBegun().back().duration = std::max(0.0, duration);
}

void View::setAnimationDelegate(const rt::Id& delegate) {
    if (!oldStyleBegun().empty()) oldStyleBegun().back().delegate = delegate;
}

void View::commitAnimations() {
    auto& begun = oldStyleBegun();
    if (begun.empty()) return;
    OldStyleAnimation animation = std::move(begun.back());
    begun.pop_back();
    ++oldStyleInFlight();
    dispatch::asyncAfter(dispatch::after(animation.duration), dispatch::Queue::main(),
                         [animation = std::move(animation)] {
                             --oldStyleInFlight();
                             if (rt::Id delegate = animation.delegate.lock())
                                 detail::tell(delegate, rt::Sel("animationDidStop:finished:context:"), animation.name,
                                              ns::Number::withBool(true), animation.context);
                         });
}

std::size_t View::animationsInFlight() {
    return oldStyleInFlight();
}

} // namespace ui

namespace ca {

namespace {

std::vector<std::function<void()>>& commitHandlers() {
    static std::vector<std::function<void()>> handlers;
    return handlers;
}

std::vector<std::function<void()>>& postCommitHandlers() {
    static std::vector<std::function<void()>> handlers;
    return handlers;
}

// The turn's end: its drawing settles, what waited for the commit runs, then what was to start
// after it. What those start is a turn of its own, committed as they end; a chain of such turns
// is cut off after a thousand (what is left waits for the next turn's end).
void commitTurn() {
    for (int turns = 0; turns < 1000 && !(commitHandlers().empty() && postCommitHandlers().empty()); ++turns) {
        Transaction::flush();
        for (const std::function<void()>& handler : std::exchange(commitHandlers(), {}))
            handler();
        for (const std::function<void()>& handler : std::exchange(postCommitHandlers(), {}))
            handler();
    }
}

void installCommit() {
    [[maybe_unused]] static const bool installed = [] {
        ns::RunLoop::main()->addTurnEndHandler(commitTurn);
        return true;
    }();
}

} // namespace

void Transaction::flush() {
    auto views = std::exchange(ui::detail::queuedDisplays(), {});
    for (const auto& weak : views)
        if (rt::Ref<ui::View> view = weak.lock()) view->displayIfNeeded();
}

void Transaction::addCommitHandler(std::function<void()> handler) {
    installCommit();
    if (handler) commitHandlers().push_back(std::move(handler));
}

void Transaction::addPostCommitHandler(std::function<void()> handler) {
    installCommit();
    if (handler) postCommitHandlers().push_back(std::move(handler));
}

} // namespace ca
