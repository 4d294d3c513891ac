#pragma once
// fm::FormController ("FMFormController"): the screen that shows one form in a fm::FormTableView.
// It opens a tapped nested root in a new controller, presented by the root's presentationMode
// (normal 0, popover 1, navigation in popover 2, modal form 3, modal full screen 4, modal page 5;
// any other presents nothing; the popover modes fall back to the normal one on a phone); covers
// the form with a loading overlay; keeps the table's bottom inset clear of the keyboard; shows and
// hides rows and sections in animated batches; and goes back to the form before it.
//
// Main thread only, except popToPreviousRootElement. Observers and animation completions hold the
// controller weakly; it removes its keyboard observations when it dies.

#include <functional>
#include <vector>

#include "platform/uikit/table_view.h"
#include "platform/uikit/view_controller.h"
#include "ui/forms/keyboard_inset.h"

namespace ns {
class Notification;
}

namespace ui {
class PopoverController;
}

namespace fm {

class Element;
class FormTableView;
class RootElement;
class Section;

class FormController : public ui::ViewController {
    RT_CLASS(FormController)
public:
    // The tag of the loading overlay in the table.
    static constexpr long loadingViewTag = 1123002;

    // The class the root's controllerName names, when it is fm::FormController or a subclass;
    // fm::FormController for no name; nil for an unknown name or any other class.
    static const rt::Class* controllerClassForRoot(const rt::Ref<RootElement>& root);
    // A controller of that class for the root; nil, with "Couldn't find a class for name …", when
    // there is none.
    static rt::Ref<FormController> controllerForRoot(const rt::Ref<RootElement>& root);
    static rt::Ref<FormController> buildControllerWithClass(const rt::Class* controllerClass,
                                                            const rt::Ref<RootElement>& root);
    static rt::Ref<ui::NavigationController> controllerWithNavigationForRoot(const rt::Ref<RootElement>& root);
    // The instance's: a name that finds no controller class falls back to fm::FormController.
    rt::Ref<FormController> makeControllerForRoot(const rt::Ref<RootElement>& root) const;

    const rt::Ref<RootElement>& root() const noexcept { return root_; }
    // Stored; given to the table once the view is loaded; the titles follow the root's.
    void setRoot(rt::Ref<RootElement> root);
    const rt::Ref<FormTableView>& formTableView() const noexcept { return table_; }
    // Also the controller's view.
    void setFormTableView(rt::Ref<FormTableView> table);
    const std::function<void()>& willDisappearCallback() const noexcept { return willDisappear_; }
    void setWillDisappearCallback(std::function<void()> block) { willDisappear_ = std::move(block); }
    bool resizeWhenKeyboardPresented() const noexcept { return resizeForKeyboard_; }
    // YES observes the keyboard's will-show and will-hide notifications, NO stops.
    void setResizeWhenKeyboardPresented(bool resize);
    bool isKeyboardVisible() const noexcept { return keyboardVisible_; }
    // The popover this controller is shown in, handed over by the controller that opened it.
    const rt::Ref<ui::PopoverController>& popoverBeingPresented() const noexcept { return popoverBeingPresented_; }
    void setPopoverBeingPresented(rt::Ref<ui::PopoverController> popover);
    // A popover this controller opened for a child that does not hold its own.
    const rt::Ref<ui::PopoverController>& popoverForChildRoot() const noexcept { return popoverForChildRoot_; }

    void setEditingAnimated(bool editing, bool animated);
    // YES; a subclass may refuse a row's delete.
    virtual bool shouldDeleteElement(const rt::Ref<Element>& element);

    // ---- Showing other controllers ----
    void displayViewControllerForRoot(const rt::Ref<RootElement>& root);
    void displayViewControllerWithPresentationMode(const rt::Ref<ui::ViewController>& controller, long mode);
    // A navigation controller is presented; another is pushed on this one's navigation stack, or
    // presented in a new navigation controller without one.
    void displayViewController(const rt::Ref<ui::ViewController>& controller);
    void dismissModalViewController();
    // On a pad, a 320 x 360 popover holding the controller (in a navigation controller when
    // asked), pointing at the rectangle in this controller's view with any arrow; elsewhere
    // displayViewController. Without a rectangle: the selected row's.
    void displayViewControllerInPopover(const rt::Ref<ui::ViewController>& controller, bool withNavigation);
    void displayViewControllerInPopoverFromRect(const rt::Ref<ui::ViewController>& controller, bool withNavigation,
                                                const cg::Rect& rect);
    // The user closed a popover this controller opened: the table reloads.
    void popoverControllerDidDismissPopover(const rt::Ref<ui::PopoverController>& popover);
    // Back to the form before: dismisses the popover it was handed, else pops, else (first of a
    // stack or alone) dismisses. From another thread it waits for the main thread to do it.
    void popToPreviousRootElement();
    void popToPreviousRootElementOnMainThread();

    // ---- Keyboard and overlay ----
    void resizeForKeyboard(const rt::Ref<ns::Notification>& notification);
    rt::Ref<ui::View> createLoadingView();
    void loading(bool show);

    // ---- Batches ----
    // In one update block: the rows of the visible elements to remove (taken before any state
    // changes), then those of the hidden ones to insert (taken in the final state), each once.
    void showHideElements(ui::TableViewRowAnimation insertAnimation, ui::TableViewRowAnimation removeAnimation,
                          const std::vector<rt::Ref<Element>>& toInsert, const std::vector<rt::Ref<Element>>& toRemove);
    void showHideSections(ui::TableViewRowAnimation insertAnimation, ui::TableViewRowAnimation removeAnimation,
                          const std::vector<rt::Ref<Section>>& toInsert, const std::vector<rt::Ref<Section>>& toRemove);
    void showElements(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Element>>& elements);
    void hideElements(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Element>>& elements);
    void showSections(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Section>>& sections);
    void hideSections(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Section>>& sections);
    // The hidden ones shown, the visible ones hidden.
    void switchElements(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Element>>& elements);

protected:
    // The platform's init, and its initWithCoder: (a controller a storyboard scene makes: the
    // scene's attributes are set after it): resizeWhenKeyboardPresented YES, no root.
    FormController();
    // The platform's initWithRoot:.
    explicit FormController(rt::Ref<RootElement> root);
    ~FormController() override;

    void loadView() override;
    void viewWillAppearBody(bool animated) override;
    void viewDidAppearBody(bool animated) override;
    void viewWillDisappearBody(bool animated) override;

private:
    void takeTitles();

    rt::Ref<RootElement> root_;
    rt::Ref<FormTableView> table_;
    std::function<void()> willDisappear_;
    bool resizeForKeyboard_ = false;
    bool keyboardVisible_ = false;
    bool onScreen_ = false;
    bool overlayShown_ = false; // the state last asked of loading:
    KeyboardObservation keyboard_;
    rt::Ref<ui::PopoverController> popoverBeingPresented_, popoverForChildRoot_;
};

} // namespace fm
