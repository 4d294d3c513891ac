// The touch screens' hot paths: one touch event on the 50-cell grid (hit test and the all-touched
// walk), one move on the 108-cell canvas (hit test, ink segment, dirty rectangle), the ink
// surface drawn again over 10,000 segments, and the heap the ink of 10,000 segments holds.

#include <malloc.h>

#include <benchmark/benchmark.h>

#include "diagnostics/display_touch_camera_keys/touch_screen_view_controller.h"
#include "diagnostics/display_touch_camera_keys/x_touch_view_controller.h"
#include "platform/foundation/set.h"
#include "platform/graphics/recording_context.h"
#include "platform/uikit/event.h"
#include "platform/uikit/touch.h"

namespace {

// A finger on a view out of a window (its coordinates are the window's).
class BenchFinger {
public:
    BenchFinger(ui::View& view, cg::Point at)
        : view_(view), touch_(ui::Touch::make(rt::retained(&view), at, ui::TouchPhase::Began)),
          set_(ns::Set::withObjects({touch_})) {
        view_.touchesBegan(set_, nullptr);
    }
    void move(cg::Point to) {
        touch_->moveTo(to, ui::TouchPhase::Moved);
        view_.touchesMoved(set_, nullptr);
    }
    void lift() { view_.touchesEnded(set_, nullptr); }

private:
    ui::View& view_;
    rt::Ref<ui::Touch> touch_;
    rt::Ref<ns::Set> set_;
};

// 414 x 896: 50 cells, all but the last touched, so the all-touched walk goes to the end.
void BM_TouchGridOneTouchEvent(benchmark::State& state) {
    auto grid = ft::SJTouchView::touchView(cg::Rect::make(0, 0, 414, 896), {});
    const auto& cells = grid->subviewList();
    for (std::size_t i = 0; i + 1 < cells.size(); ++i)
        rt::cast<ft::SJTouchButton>(cells[i])->setIsTouched(true);
    BenchFinger finger(*grid, {41.4, 41.4});
    for (auto _ : state)
        finger.lift();
    benchmark::DoNotOptimize(grid->hasNotify());
}
BENCHMARK(BM_TouchGridOneTouchEvent);

// Moves 10 points apart, each adding a segment of ink.
void BM_TouchCanvasOneMove(benchmark::State& state) {
    auto canvas = ft::XCanvas::touchView(cg::Rect::make(0, 0, 375, 667), {});
    BenchFinger finger(*canvas, {100, 100});
    double x = 100;
    for (auto _ : state) {
        x = x > 300 ? 100 : x + 10;
        finger.move({x, 100 + x / 10});
    }
    state.counters["ink_elements"] = double(canvas->path()->elements().size());
}
BENCHMARK(BM_TouchCanvasOneMove);

rt::Ref<ft::XCanvas> benchCanvasWithInk(std::size_t segments) {
    auto canvas = ft::XCanvas::touchView(cg::Rect::make(0, 0, 375, 667), {});
    BenchFinger finger(*canvas, {20, 20});
    for (std::size_t i = 0; i < segments; ++i)
        finger.move({20 + double(i % 33) * 10, 20 + double(i % 61) * 10});
    finger.lift();
    return canvas;
}

// The mask view's pass over a small dirty rectangle, the whole ink stroked under its clip.
void BM_TouchCanvasRedrawAfterTenThousandSegments(benchmark::State& state) {
    auto canvas = benchCanvasWithInk(10000);
    const rt::Ref<ft::XMaskView>& mask = canvas->maskView();
    for (auto _ : state) {
        mask->setNeedsDisplayInRect(cg::Rect::make(90, 90, 35, 20));
        mask->displayIfNeeded();
    }
    state.counters["ink_elements"] = double(canvas->path()->elements().size());
}
BENCHMARK(BM_TouchCanvasRedrawAfterTenThousandSegments)->Unit(benchmark::kMicrosecond);

// What the ink of 10,000 segments holds on the heap (reported, no budget).
void BM_TouchCanvasInkMemory(benchmark::State& state) {
    std::int64_t bytes = 0;
    for (auto _ : state) {
        auto canvas = ft::XCanvas::touchView(cg::Rect::make(0, 0, 375, 667), {});
        const auto before = static_cast<std::int64_t>(mallinfo2().uordblks);
        BenchFinger finger(*canvas, {20, 20});
        for (int i = 0; i < 10000; ++i)
            finger.move({20 + double(i % 33) * 10, 20 + double(i % 61) * 10});
        finger.lift();
        bytes = static_cast<std::int64_t>(mallinfo2().uordblks) - before;
    }
    state.counters["ink_heap_bytes"] = double(bytes);
}
BENCHMARK(BM_TouchCanvasInkMemory)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
