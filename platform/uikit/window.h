#pragma once
// ui::Window ("UIWindow"): the root of a tree of views, made the application's key window by
// makeKeyAndVisible. A new window covers the main screen and is hidden until made visible.
//
// Safe-area insets come from the simulated device: its profile's insets on system 11 and later,
// zero before.

#include <vector>

#include "platform/uikit/view.h"

namespace sim {
struct Profile;
}

namespace ui {

class ViewController;

// The insets of `device`'s screen: its profile's on system 11 and later, zero before.
EdgeInsets deviceSafeAreaInsets(const sim::Profile& device);

class Window : public View {
    RT_CLASS(Window)
public:
    // The controller whose view fills the window. Held strongly; reading it as a controller:
    // window->rootViewController<ViewController>(). A visible window swaps the views at once,
    // with the appearance calls of a transition (the old root disappears as the new one appears);
    // a hidden one puts the root's view in when it is made visible, and the root then appears.
    template <class Controller = ViewController>
    rt::Ref<Controller> rootViewController() const {
        return rt::cast<Controller>(rootViewController_);
    }
    const rt::Id& rootViewControllerObject() const noexcept { return rootViewController_; }
    void setRootViewControllerObject(rt::Id controller);

    // Shows the window and makes it the application's key window.
    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;

    // The window's level (the platform's normal level is 0).
    double windowLevel() const noexcept { return level_; }
    void setWindowLevel(double level);

    // The live windows, in the order they were made (main thread only).
    static std::vector<rt::Ref<Window>> allWindows();

    EdgeInsets safeAreaInsets() const override;
    rt::Ref<Window> window() const override { return rt::retained(this); }
    // The window's next responder is the application.
    rt::Ref<Responder> nextResponder() const override;

protected:
    Window();
    explicit Window(const cg::Rect& frame);

private:
    friend class View; // schedules the layout passes
    // Puts the root controller's view in, replacing `previous`'s, with the appearance calls.
    void installRoot(const rt::Id& previous);

    rt::Id rootViewController_;
    double level_ = 0;
    bool layoutPassScheduled_ = false;
};

} // namespace ui
