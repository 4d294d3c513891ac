#include "ui/forms/elements/image_element.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/graphics/layer.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/device.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_context.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/popover_controller.h"
#include "platform/uikit/table_view.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

bool imageElementOnPhone() {
    return ui::Device::currentDevice()->userInterfaceIdiom() == ui::UserInterfaceIdiom::Phone;
}

char imageValueContext[] = "imageValue";

// The cell's ear on its element's "imageValue": held by the cell, it holds the cell weakly, so the
// cell can stop the observation while it dies.
class ImageValueObserver : public rt::Object {
    RT_CLASS(ImageValueObserver)
public:
    std::function<void()> changed;
    void observeValueForKeyPath(std::string_view keyPath, const rt::Id& object, const rt::Ref<ns::Dictionary>& change,
                                void* context) override {
        if (context != imageValueContext) return rt::Object::observeValueForKeyPath(keyPath, object, change, context);
        if (changed) changed();
    }
};

} // namespace

// ---- fm::ImageElement ---------------------------------------------------------------------------

ImageElement::ImageElement() : imageMaxLength_(std::numeric_limits<float>::max()) {}

ImageElement::ImageElement(rt::Ref<ns::String> title, rt::Ref<ui::Image> image) : ImageElement() {
    setTitle(std::move(title));
    imageValue_ = std::move(image);
}

ImageElement::~ImageElement() = default;

const rt::Ref<ui::ImagePickerController>& ImageElement::imagePickerController() const {
    if (!picker_) {
        picker_ = rt::make<ui::ImagePickerController>();
        picker_->setDelegate(rt::retained(this));
    }
    return picker_;
}

void ImageElement::setImagePickerController(rt::Ref<ui::ImagePickerController> picker) {
    picker_ = std::move(picker);
}

void ImageElement::setPopoverController(rt::Ref<ui::PopoverController> popover) {
    popover_ = std::move(popover);
}

void ImageElement::setImageValue(rt::Ref<ui::Image> image) {
    rt::KeyChange change(this, "imageValue");
    imageValue_ = std::move(image);
}

void ImageElement::setImageValueNamed(const rt::Ref<ns::String>& name) {
    if (!name) return;
    setImageValue(ui::Image::imageNamed(name->utf8()));
    reducedImageIfNeeded();
}

rt::Ref<ui::TableViewCell> ImageElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                             const rt::Ref<ui::ViewController>&) {
    auto cell = rt::cast<ImageTableViewCell>(reusableCell(table, "FMFormImageElement"));
    if (!cell) cell = rt::make<ImageTableViewCell>();
    cell->prepareForElement(rt::retained(this), table);
    return cell;
}

void ImageElement::selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                            const rt::Ref<ns::IndexPath>& indexPath) {
    if (table) table->deselectRowAtIndexPath(indexPath, true);
    presentImagePicker(table, controller, indexPath);
}

void ImageElement::presentImagePicker(const rt::Ref<ui::TableView>& table,
                                      const rt::Ref<ui::ViewController>& controller,
                                      const rt::Ref<ns::IndexPath>& indexPath) {
    const rt::Ref<ui::ImagePickerController>& picker = imagePickerController();
    const auto type = ui::ImagePickerControllerSourceType(source_);
    if (ui::ImagePickerController::isSourceTypeAvailable(type)) {
        picker->setSourceType(type);
    } else {
        ns::logLine("Source not available, using default Library type.");
        picker->setSourceType(ui::ImagePickerControllerSourceType::PhotoLibrary);
    }
    if (imageElementOnPhone()) {
        if (const auto form = rt::cast<FormController>(controller)) form->displayViewController(picker);
        return;
    }
    const auto cell = rt::cast<ImageTableViewCell>(table ? table->cellForRowAtIndexPath(indexPath) : nullptr);
    if (!cell) return;
    auto popover = rt::make<ui::PopoverController>(rt::Ref<ui::ViewController>(picker));
    const rt::Ref<ui::Button>& thumbnail = cell->imageViewButton();
    popover->presentPopoverFromRect(thumbnail->bounds(), thumbnail, 15, true);
    popover->setDelegate(rt::retained(this));
    popover_ = std::move(popover);
}

void ImageElement::dismissImagePickerController() {
    if (!imageElementOnPhone()) {
        if (popover_) popover_->dismissPopoverAnimated(true);
    } else if (picker_) {
        picker_->dismissViewControllerAnimated(true);
    }
}

void ImageElement::reducedImageIfNeeded() {
    const float m = imageMaxLength_;
    // A maximum that is zero, negative or not a number would lose the picture: kept as it is.
    if (!imageValue_ || !std::isfinite(m) || !(m > 0)) return;
    const cg::Size size = imageValue_->size();
    if (!(size.width > m) && !(size.height > m)) return;
    const auto f = static_cast<float>(m / std::max(size.width, size.height));
    // In single precision throughout: 3000 · 0.2f is 600 there, a hair over it in double.
    const cg::Size scaled{static_cast<float>(size.width) * f, static_cast<float>(size.height) * f};
    ui::graphicsBeginImageContext(scaled);
    imageValue_->drawInRect(cg::Rect::make(0, 0, scaled.width, scaled.height));
    rt::Ref<ui::Image> reduced = ui::graphicsGetImageFromCurrentImageContext();
    ui::graphicsEndImageContext();
    setImageValue(std::move(reduced));
}

void ImageElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(imageValue_, key()->utf8());
}

void ImageElement::imagePickerDidFinishPicking(const rt::Ref<ui::ImagePickerController>&,
                                               const rt::Ref<ns::Dictionary>& info) {
    setImageValue(info ? rt::cast<ui::Image>(info->objectForKey(ui::UIImagePickerControllerOriginalImage)) : nullptr);
    reducedImageIfNeeded();
    dismissImagePickerController();
}

void ImageElement::imagePickerDidCancel(const rt::Ref<ui::ImagePickerController>&) {
    dismissImagePickerController();
}

void ImageElement::popoverDidDismiss(const rt::Ref<ui::PopoverController>&) {
    popover_ = nullptr;
}

// ---- fm::ImageTableViewCell ---------------------------------------------------------------------

ImageTableViewCell::ImageTableViewCell() : EntryTableViewCell("FMFormImageElement") {
    createSubviews();
    setSelectionStyle(ui::TableViewCellSelectionStyle::Blue);
    auto observer = rt::make<ImageValueObserver>();
    const rt::Weak<ImageTableViewCell> weak(rt::retained(this));
    observer->changed = [weak] {
        if (const auto self = weak.lock()) self->showImageValue();
    };
    observer_ = std::move(observer);
}

ImageTableViewCell::~ImageTableViewCell() {
    if (imageElement_) ns::removeObserverForKeyPath(imageElement_, observer_, "imageValue", imageValueContext);
}

void ImageTableViewCell::createSubviews() {
    imageViewButton_ = rt::make<ui::Button>();
    imageViewButton_->setContentMode(ui::ViewContentMode::ScaleAspectFill);
    imageViewButton_->layer()->setCornerRadius(7.2);
    imageViewButton_->layer()->setMasksToBounds(true);
    imageViewButton_->setBackgroundColor(ui::Color::colorWithWhite(0.1, 0.1));
    namespace mask = ui::ViewAutoresizing;
    imageViewButton_->setAutoresizingMask(mask::FlexibleLeftMargin | mask::FlexibleWidth | mask::FlexibleHeight);
    imageViewButton_->addTargetActionForControlEvents(rt::retained(this), rt::Sel("handleImageSelected"),
                                                      ui::ControlEvent::TouchUpInside);
    contentView()->addSubview(imageViewButton_);
    setNeedsLayout();
}

void ImageTableViewCell::setImageElement(rt::Ref<ImageElement> element) {
    if (element == imageElement_) return;
    rt::KeyChange change(this, "imageElement");
    if (imageElement_) ns::removeObserverForKeyPath(imageElement_, observer_, "imageValue", imageValueContext);
    imageElement_ = std::move(element);
    if (imageElement_)
        ns::addObserverForKeyPath(imageElement_, observer_, "imageValue", ns::KeyValueObservingOptions::None,
                                  imageValueContext);
    showImageValue();
}

void ImageTableViewCell::showImageValue() {
    imageViewButton_->setImageForState(imageElement_ ? imageElement_->imageValue() : nullptr,
                                       ui::ControlStates::Normal);
}

void ImageTableViewCell::prepareForElement(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table) {
    EntryTableViewCell::prepareForElement(element, table);
    setImageElement(rt::cast<ImageElement>(element));
    imageView()->setImage(element ? rt::cast<LabelElement>(element)->image() : nullptr);
}

void ImageTableViewCell::layoutSubviews() {
    EntryTableViewCell::layoutSubviews();
    recalculateDetailImageViewPosition();
}

void ImageTableViewCell::recalculateDetailImageViewPosition() {
    const cg::Rect content = contentView()->frame();
    const double side = content.height() - 4;
    const cg::Rect thumbnail = cg::Rect::make(content.width() - 2 - side, 2, side, side);
    imageViewButton_->setFrame(thumbnail);
    if (imageElement_)
        if (const rt::Ref<Section> section = imageElement_->parentSection()) section->setEntryPosition(thumbnail);
    const rt::Ref<ui::Image>& rowImage = imageElement_ ? imageElement_->image() : nullptr;
    const double gap = rowImage ? rowImage->size().width + 20 : 10;
    const rt::Ref<ui::Label> title = textLabel();
    cg::Rect frame = title->frame();
    frame.size.width = thumbnail.minX() - gap - 2;
    title->setFrame(frame);
}

RT_DEFINE_CLASS(ImageValueObserver, "FMImageValueObserver", rt::Object)

RT_DEFINE_CLASS(ImageElement, "FMImageElement", EntryElement,
                rt::prop("imagePickerController", &ImageElement::imagePickerController,
                         &ImageElement::setImagePickerController),
                rt::prop("popoverController", &ImageElement::popoverController, &ImageElement::setPopoverController),
                rt::prop("imageValue", &ImageElement::imageValue, &ImageElement::setImageValue),
                rt::prop("imageValueNamed", &ImageElement::imageValueNamed, &ImageElement::setImageValueNamed),
                rt::prop("imageMaxLength", &ImageElement::imageMaxLength, &ImageElement::setImageMaxLength),
                rt::prop("source", &ImageElement::source, &ImageElement::setSource),
                rt::method("reducedImageIfNeeded", &ImageElement::reducedImageIfNeeded),
                rt::method("dismissImagePickerController", &ImageElement::dismissImagePickerController),
                rt::method("imagePickerController:didFinishPickingMediaWithInfo:",
                           &ImageElement::imagePickerDidFinishPicking),
                rt::method("imagePickerControllerDidCancel:", &ImageElement::imagePickerDidCancel),
                rt::method("popoverControllerDidDismissPopover:", &ImageElement::popoverDidDismiss))

RT_DEFINE_CLASS(ImageTableViewCell, "FMImageTableViewCell", EntryTableViewCell,
                rt::prop("imageElement", &ImageTableViewCell::imageElement, &ImageTableViewCell::setImageElement),
                rt::prop("imageViewButton", &ImageTableViewCell::imageViewButton),
                rt::method("handleImageSelected", &ImageTableViewCell::handleImageSelected),
                rt::method("recalculateDetailImageViewPosition",
                           &ImageTableViewCell::recalculateDetailImageViewPosition))

} // namespace fm
