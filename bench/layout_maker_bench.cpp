// The layout library's entry points: the skip button's block (a size and two centres), and
// remaking four constraints on each of 100 sibling views.

#include <chrono>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/uikit/view.h"
#include "ui/layout/constraint_maker.h"

namespace {

// Only the call is timed; taking the made constraints down again is not.
void BM_MakeConstraintsSkipBlock(benchmark::State& state) {
    auto root = rt::make<ui::View>(), bar = rt::make<ui::View>(), skip = rt::make<ui::View>();
    root->addSubview(bar);
    bar->addSubview(skip);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto made = lc::makeConstraints(skip, [&](lc::ConstraintMaker& make) {
            make.size()->equalTo(lc::boxed(cg::Size{100, 40}));
            make.centerY()->equalTo(bar);
            make.centerX()->equalTo(bar);
        });
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        for (const auto& constraint : made)
            constraint->uninstall();
    }
}
BENCHMARK(BM_MakeConstraintsSkipBlock)->UseManualTime();

void BM_RemakeFourConstraintsOn100Siblings(benchmark::State& state) {
    constexpr int kViews = 100;
    auto root = rt::make<ui::View>();
    std::vector<rt::Ref<ui::View>> views;
    for (int i = 0; i < kViews; ++i) {
        views.push_back(rt::make<ui::View>());
        root->addSubview(views.back());
    }
    for (auto _ : state) {
        for (const auto& view : views)
            lc::remakeConstraints(view, [&](lc::ConstraintMaker& make) {
                make.left()->equalTo(root)->offset(8);
                make.top()->equalTo(root)->offset(8);
                make.width()->equalTo(44.0);
                make.height()->equalTo(44.0);
            });
    }
    state.counters["per_view"] =
        benchmark::Counter(double(state.iterations()) * kViews, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RemakeFourConstraintsOn100Siblings);

} // namespace
