#include "ui/forms/form_controller.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/class.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/stored_block.h"
#include "platform/runtime/value.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/color.h"
#include "platform/uikit/device.h"
#include "platform/uikit/keyboard.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/popover_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace fm {

FormController::FormController() {
    setResizeWhenKeyboardPresented(true);
}

FormController::FormController(rt::Ref<RootElement> root) : FormController() {
    setRoot(std::move(root));
}

FormController::~FormController() = default; // the keyboard observation stops with it

// ---- Making controllers ------------------------------------------------------------------------

const rt::Class* FormController::controllerClassForRoot(const rt::Ref<RootElement>& root) {
    if (!root || !root->controllerName()) return &staticClass();
    const rt::Class* named = rt::Class::named(root->controllerName()->utf8());
    return named && named->isSubclassOf(staticClass()) ? named : nullptr;
}

rt::Ref<FormController> FormController::controllerForRoot(const rt::Ref<RootElement>& root) {
    const rt::Class* found = controllerClassForRoot(root);
    if (!found) {
        ns::log("Couldn't find a class for name %@", rt::Id(root->controllerName()));
        return nullptr;
    }
    return buildControllerWithClass(found, root);
}

rt::Ref<FormController> FormController::buildControllerWithClass(const rt::Class* controllerClass,
                                                                 const rt::Ref<RootElement>& root) {
    const rt::Class& made = controllerClass ? *controllerClass : staticClass();
    rt::Ref<FormController> controller = rt::cast<FormController>(made.alloc());
    if (!controller) controller = rt::make<FormController>();
    controller->setRoot(root);
    return controller;
}

rt::Ref<ui::NavigationController> FormController::controllerWithNavigationForRoot(const rt::Ref<RootElement>& root) {
    return ui::NavigationController::withRootViewController(buildControllerWithClass(controllerClassForRoot(root), root));
}

rt::Ref<FormController> FormController::makeControllerForRoot(const rt::Ref<RootElement>& root) const {
    return buildControllerWithClass(controllerClassForRoot(root), root);
}

// ---- The form ----------------------------------------------------------------------------------

void FormController::setRoot(rt::Ref<RootElement> root) {
    root_ = std::move(root);
    if (table_) table_->setRoot(root_);
    takeTitles();
}

void FormController::takeTitles() {
    if (!root_) return;
    setTitle(root_->title());
    navigationItem()->setTitle(root_->title());
}

void FormController::setFormTableView(rt::Ref<FormTableView> table) {
    table_ = std::move(table);
    setView(table_);
}

void FormController::loadView() {
    ui::ViewController::loadView();
    setFormTableView(rt::make<FormTableView>(rt::Ref<ui::ViewController>(rt::retained(this)), root_));
}

void FormController::setEditingAnimated(bool editing, bool animated) {
    if (table_) table_->setEditingAnimated(editing, animated);
}

bool FormController::shouldDeleteElement(const rt::Ref<Element>&) {
    return true;
}

void FormController::viewWillAppearBody(bool) {
    onScreen_ = true;
    if (table_) table_->deselectRows();
    takeTitles();
    // Only a row that exists: a stale index is ignored.
    const rt::Ref<ns::IndexPath> preselected = root_ ? root_->preselectedElementIndex() : nullptr;
    if (table_ && preselected && preselected->section() >= 0 && preselected->section() < table_->numberOfSections() &&
        preselected->row() >= 0 && preselected->row() < table_->numberOfRowsInSection(preselected->section()))
        table_->scrollToRowAtIndexPath(preselected, 1, false);
}

void FormController::viewDidAppearBody(bool) {
    if (!root_ || !root_->showKeyboardOnAppear() || !table_) return;
    const rt::Ref<Element> first = root_->findElementToFocusOnAfter(nullptr);
    if (const rt::Ref<ui::TableViewCell> cell = first ? table_->cellForElement(first) : nullptr)
        cell->becomeFirstResponder();
}

void FormController::viewWillDisappearBody(bool) {
    onScreen_ = false;
    rt::callStoredBlock(willDisappear_);
}

// ---- Showing other controllers -----------------------------------------------------------------

void FormController::displayViewControllerForRoot(const rt::Ref<RootElement>& root) {
    displayViewControllerWithPresentationMode(makeControllerForRoot(root), root ? root->presentationMode() : 0);
}

void FormController::displayViewControllerWithPresentationMode(const rt::Ref<ui::ViewController>& controller,
                                                               long mode) {
    if (!controller) return;
    if (mode == 0) {
        displayViewController(controller);
        return;
    }
    if (mode == 1 || mode == 2) {
        displayViewControllerInPopover(controller, mode == 2);
        return;
    }
    if (mode < 3 || mode > 5) return;
    auto navigation = ui::NavigationController::withRootViewController(controller);
    controller->navigationItem()->setLeftBarButtonItem(ui::BarButtonItem::withTitle(
        ns::str("Close"), ui::BarButtonItemStyle::Plain, rt::retained(this), rt::Sel("dismissModalViewController")));
    static constexpr long styles[] = {2, 0, 1}; // form sheet, full screen, page sheet
    navigation->setModalPresentationStyle(styles[mode - 3]);
    if (mode == 3) presentModalViewControllerAnimated(navigation, true);
    else presentViewController(navigation, true);
}

void FormController::displayViewController(const rt::Ref<ui::ViewController>& controller) {
    if (!controller) return;
    if (rt::cast<ui::NavigationController>(rt::Id(controller))) presentViewController(controller, true);
    else if (const auto navigation = navigationController()) navigation->pushViewController(controller, true);
    else presentViewController(ui::NavigationController::withRootViewController(controller), true);
}

void FormController::displayViewControllerInPopover(const rt::Ref<ui::ViewController>& controller,
                                                    bool withNavigation) {
    const rt::Ref<ns::IndexPath> selected = table_ ? table_->indexPathForSelectedRow() : nullptr;
    displayViewControllerInPopoverFromRect(controller, withNavigation,
                                           selected ? table_->rectForRowAtIndexPath(selected) : cg::Rect::zero());
}

void FormController::displayViewControllerInPopoverFromRect(const rt::Ref<ui::ViewController>& controller,
                                                            bool withNavigation, const cg::Rect& rect) {
    if (!controller) return;
    if (ui::Device::currentDevice()->userInterfaceIdiom() != ui::UserInterfaceIdiom::Pad) {
        displayViewController(controller);
        return;
    }
    rt::Ref<ui::ViewController> content = controller;
    if (withNavigation) content = ui::NavigationController::withRootViewController(controller);
    auto popover = rt::make<ui::PopoverController>(content);
    popover->setPopoverContentSize({320, 360});
    if (const auto child = rt::cast<FormController>(rt::Id(controller))) child->setPopoverBeingPresented(popover);
    else popoverForChildRoot_ = popover;
    popover->setDelegate(rt::retained(this));
    popover->presentPopoverFromRect(rect, view(), 15, true);
}

void FormController::setPopoverBeingPresented(rt::Ref<ui::PopoverController> popover) {
    popoverBeingPresented_ = std::move(popover);
}

// The child that held the popover lets it go too: the popover holds the child, so a hold kept
// past the dismissal would keep both alive.
void FormController::popoverControllerDidDismissPopover(const rt::Ref<ui::PopoverController>& popover) {
    if (table_) table_->reloadData();
    popoverForChildRoot_ = nullptr;
    rt::Id content = popover ? rt::Id(popover->contentViewController()) : nullptr;
    if (const auto navigation = rt::cast<ui::NavigationController>(content)) content = navigation->viewControllers()->firstObject();
    if (const auto child = rt::cast<FormController>(content); child && child->popoverBeingPresented_ == popover)
        child->popoverBeingPresented_ = nullptr;
}

void FormController::dismissModalViewController() {
    dismissViewControllerAnimated(true);
}

void FormController::popToPreviousRootElement() {
    // The main thread does it at once: handing it to itself and waiting would never return.
    if (ns::Thread::isMainThread()) {
        popToPreviousRootElementOnMainThread();
        return;
    }
    const rt::Ref<FormController> self = rt::retained(this);
    dispatch::sync(dispatch::Queue::main(), [self] { self->popToPreviousRootElementOnMainThread(); });
}

void FormController::popToPreviousRootElementOnMainThread() {
    if (const rt::Ref<ui::PopoverController> popover = std::move(popoverBeingPresented_)) {
        popoverBeingPresented_ = nullptr;
        popover->dismissPopoverAnimated(true);
        rt::tell(popover->delegate(), rt::Sel("popoverControllerDidDismissPopover:"), rt::Id(popover));
        return;
    }
    const auto navigation = navigationController();
    if (navigation && navigation->viewControllers()->firstObject().get() != this) navigation->popViewControllerAnimated(true);
    else dismissViewControllerAnimated(true);
}

// ---- Keyboard ----------------------------------------------------------------------------------

void FormController::setResizeWhenKeyboardPresented(bool resize) {
    if (resize == resizeForKeyboard_) return;
    resizeForKeyboard_ = resize;
    if (!resize) return keyboard_.stop();
    const rt::Weak<FormController> weak(rt::retained(this));
    keyboard_.start([weak](const rt::Ref<ns::Notification>& note) {
        if (const auto self = weak.lock()) self->resizeForKeyboard(note);
    });
}

void FormController::resizeForKeyboard(const rt::Ref<ns::Notification>& notification) {
    if (!onScreen_ || !notification || !table_) return;
    const bool showing = keyboardShows(notification);
    if (showing == keyboardVisible_) return;
    keyboardVisible_ = showing;
    const rt::Weak<FormController> weak(rt::retained(this));
    animateInsetForKeyboard(notification, showing, view(), [weak](double bottom) {
        const auto self = weak.lock();
        if (!self || !self->table_) return;
        ui::EdgeInsets insets = self->table_->contentInset();
        insets.bottom = bottom;
        self->table_->setContentInset(insets);
    });
}

// ---- Loading overlay ---------------------------------------------------------------------------

rt::Ref<ui::View> FormController::createLoadingView() {
    auto overlay = rt::make<ui::View>(cg::Rect::zero());
    overlay->setBackgroundColor(ui::Color::colorWithWhite(0, 0.4));
    namespace mask = ui::ViewAutoresizing;
    overlay->setAutoresizingMask(mask::FlexibleWidth | mask::FlexibleHeight);
    overlay->setTag(loadingViewTag);
    auto indicator = ui::ActivityIndicatorView::withStyle(ui::ActivityIndicatorViewStyle::WhiteLarge);
    indicator->startAnimating();
    indicator->sizeToFit();
    indicator->setCenter({overlay->bounds().size.width / 2, overlay->bounds().size.height / 3});
    indicator->setAutoresizingMask(mask::FlexibleWidth | mask::FlexibleHeight);
    overlay->addSubview(indicator);
    if (table_) {
        table_->addSubview(overlay);
        table_->bringSubviewToFront(overlay);
    }
    return overlay;
}

void FormController::loading(bool show) {
    if (!table_) return;
    overlayShown_ = show;
    ui::Application::sharedApplication()->setNetworkActivityIndicatorVisible(show);
    rt::Ref<ui::View> overlay = table_->viewWithTag(loadingViewTag);
    if (!overlay) overlay = createLoadingView();
    overlay->setFrame(cg::Rect{table_->contentOffset(), table_->bounds().size});
    table_->setUserInteractionEnabled(!show);
    if (show) {
        overlay->setHidden(false);
        table_->bringSubviewToFront(overlay);
    }
    overlay->setAlpha(show ? 0 : 1);
    const rt::Weak<FormController> weak(rt::retained(this));
    ui::View::animateWithDuration(
        0.3, [overlay, show] { overlay->setAlpha(show ? 1 : 0); },
        [weak, overlay, show](bool) {
            // A show asked for during the fade wins over the fade's end.
            const auto self = weak.lock();
            if (show || !self || self->overlayShown_) return;
            overlay->setHidden(true);
            ui::Application::sharedApplication()->setNetworkActivityIndicatorVisible(false);
        });
}

// ---- Batches -----------------------------------------------------------------------------------

namespace {

// The members whose hidden flag is `hidden`, each once, in the order given.
template <class T> std::vector<rt::Ref<T>> formBatchMembers(const std::vector<rt::Ref<T>>& list, bool hidden) {
    std::vector<rt::Ref<T>> out;
    for (const auto& member : list)
        if (member && member->hidden() == hidden && std::find(out.begin(), out.end(), member) == out.end())
            out.push_back(member);
    return out;
}

rt::Ref<ns::IndexPath> formBatchPath(const rt::Ref<Element>& element) {
    const rt::Ref<Section> section = element->parentSection();
    if (!section || section->hidden()) return nullptr;
    return ns::IndexPath::indexPathForRowInSection(static_cast<long>(element->visibleIndex()),
                                                   static_cast<long>(section->visibleIndex()));
}

} // namespace

void FormController::showHideElements(ui::TableViewRowAnimation insertAnimation,
                                      ui::TableViewRowAnimation removeAnimation,
                                      const std::vector<rt::Ref<Element>>& toInsert,
                                      const std::vector<rt::Ref<Element>>& toRemove) {
    const auto removing = formBatchMembers(toRemove, false), inserting = formBatchMembers(toInsert, true);
    std::vector<rt::Ref<ns::IndexPath>> deleted, inserted;
    // Every path in the table before any change, then every one in the final state.
    for (const auto& element : removing)
        if (auto path = formBatchPath(element)) deleted.push_back(std::move(path));
    for (const auto& element : removing)
        element->setHidden(true);
    for (const auto& element : inserting)
        element->setHidden(false);
    for (const auto& element : inserting)
        if (auto path = formBatchPath(element)) inserted.push_back(std::move(path));
    if (!table_) return;
    table_->beginUpdates();
    table_->deleteRowsAtIndexPaths(deleted, removeAnimation);
    table_->insertRowsAtIndexPaths(inserted, insertAnimation);
    table_->endUpdates();
}

void FormController::showHideSections(ui::TableViewRowAnimation insertAnimation,
                                      ui::TableViewRowAnimation removeAnimation,
                                      const std::vector<rt::Ref<Section>>& toInsert,
                                      const std::vector<rt::Ref<Section>>& toRemove) {
    const auto removing = formBatchMembers(toRemove, false), inserting = formBatchMembers(toInsert, true);
    std::vector<long> deleted, inserted;
    for (const auto& section : removing)
        if (section->rootElement()) deleted.push_back(static_cast<long>(section->visibleIndex()));
    for (const auto& section : removing)
        section->setHidden(true);
    for (const auto& section : inserting)
        section->setHidden(false);
    for (const auto& section : inserting)
        if (section->rootElement()) inserted.push_back(static_cast<long>(section->visibleIndex()));
    if (!table_) return;
    table_->beginUpdates();
    table_->deleteSections(deleted, removeAnimation);
    table_->insertSections(inserted, insertAnimation);
    table_->endUpdates();
}

void FormController::showElements(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Element>>& elements) {
    showHideElements(animation, animation, elements, {});
}

void FormController::hideElements(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Element>>& elements) {
    showHideElements(animation, animation, {}, elements);
}

void FormController::showSections(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Section>>& sections) {
    showHideSections(animation, animation, sections, {});
}

void FormController::hideSections(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Section>>& sections) {
    showHideSections(animation, animation, {}, sections);
}

void FormController::switchElements(ui::TableViewRowAnimation animation, const std::vector<rt::Ref<Element>>& elements) {
    showHideElements(animation, animation, formBatchMembers(elements, true), formBatchMembers(elements, false));
}

RT_DEFINE_CLASS(FormController, "FMFormController", ui::ViewController,
                rt::prop("root", &FormController::root, &FormController::setRoot),
                rt::prop("resizeWhenKeyboardPresented", &FormController::resizeWhenKeyboardPresented,
                         &FormController::setResizeWhenKeyboardPresented),
                rt::method("shouldDeleteElement:", &FormController::shouldDeleteElement),
                rt::method("displayViewControllerForRoot:", &FormController::displayViewControllerForRoot),
                rt::method("dismissModalViewController", &FormController::dismissModalViewController),
                rt::method("setPopoverBeingPresented:", &FormController::setPopoverBeingPresented),
                rt::method("popoverControllerDidDismissPopover:", &FormController::popoverControllerDidDismissPopover),
                rt::method("popToPreviousRootElement", &FormController::popToPreviousRootElement),
                rt::method("loading:", &FormController::loading),
                rt::method("setEditing:animated:", &FormController::setEditingAnimated))

} // namespace fm
