// The layout pass over a whole screen: the scanner screen's visual formats (a camera view, a cancel
// button and two buttons under the top layout guide) laid out from scratch, and laid out again
// after one constant changed in place.

#include <benchmark/benchmark.h>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace {

struct Scanner {
    rt::Ref<ui::ViewController> controller = rt::make<ui::ViewController>();
    rt::Ref<ui::View> root = rt::make<ui::View>(cg::Rect::make(0, 0, 320, 568));
    rt::Ref<ui::View> camera, cancel, flip, torch;

    rt::Ref<ui::View> add() {
        auto view = rt::make<ui::View>();
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addSubview(view);
        return view;
    }
    void format(const char* text, const rt::Ref<ns::Dictionary>& views) {
        root->addConstraints(ui::LayoutConstraint::constraintsWithVisualFormat(text, 0, nullptr, views));
    }

    Scanner() {
        controller->setView(root);
        camera = add(), cancel = add(), flip = add(), torch = add();
        auto main = ns::MutableDictionary::make();
        main->setObjectForKey(camera, "_cameraView");
        main->setObjectForKey(cancel, "_cancelButton");
        format("V:|[_cameraView][_cancelButton(40)]|", main);
        format("H:|[_cameraView]|", main);
        format("H:|-[_cancelButton]-|", main);
        auto top = ns::MutableDictionary::make();
        top->setObjectForKey(flip, "_switchCameraButton");
        top->setObjectForKey(torch, "_toggleTorchButton");
        top->setObjectForKey(controller->topLayoutGuide(), "topLayoutGuide");
        format("V:[topLayoutGuide]-[_switchCameraButton(50)]", top);
        format("H:[_switchCameraButton(70)]|", top);
        format("V:[topLayoutGuide]-[_toggleTorchButton(50)]", top);
        format("H:|[_toggleTorchButton(70)]", top);
    }

    bool placedCorrectly() const {
        return camera->frame() == cg::Rect::make(0, 0, 320, 528) && cancel->frame() == cg::Rect::make(20, 528, 280, 40) &&
               flip->frame() == cg::Rect::make(250, 28, 70, 50) && torch->frame() == cg::Rect::make(0, 28, 70, 50);
    }
};

void ScannerFullPass(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto screen = std::make_unique<Scanner>();
        state.ResumeTiming();
        screen->root->layoutIfNeeded();
        state.PauseTiming();
        if (!screen->placedCorrectly()) state.SkipWithError("the scanner's frames are wrong");
        screen.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ScannerFullPass)->Unit(benchmark::kMicrosecond);

void ScannerConstantChange(benchmark::State& state) {
    Scanner screen;
    screen.root->layoutIfNeeded();
    if (!screen.placedCorrectly()) {
        state.SkipWithError("the scanner's frames are wrong");
        return;
    }
    // The cancel button's height, the third constraint of the first format.
    rt::Ref<ui::LayoutConstraint> height = screen.root->constraintList()[2];
    const double heights[] = {40, 44, 48, 36};
    std::size_t i = 0;
    for (auto _ : state) {
        height->setConstant(heights[i++ % 4]);
        screen.root->layoutIfNeeded();
        benchmark::DoNotOptimize(screen.cancel->frame());
    }
}
BENCHMARK(ScannerConstantChange);

} // namespace
