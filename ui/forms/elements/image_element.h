#pragma once
// fm::ImageElement ("FMImageElement"): a row holding a picture, shown as a thumbnail at the row's
// right end by fm::ImageTableViewCell ("FMImageTableViewCell"), which has no text field. A tap opens
// the platform's image picker: in a popover on the thumbnail off the phone, through the form
// controller on a phone. A picked (or named) picture is scaled down to imageMaxLength on its
// longest side; a maximum that is not a positive finite number leaves it as it is.

#include "ui/forms/elements/entry_element.h"
#include "ui/forms/elements/entry_table_view_cell.h"

namespace ns {
class Dictionary;
}

namespace ui {
class Button;
class ImagePickerController;
class PopoverController;
} // namespace ui

namespace fm {

class ImageElement : public EntryElement {
    RT_CLASS(ImageElement)
public:
    // Made on first read, with the element as its delegate.
    const rt::Ref<ui::ImagePickerController>& imagePickerController() const;
    void setImagePickerController(rt::Ref<ui::ImagePickerController> picker);
    const rt::Ref<ui::PopoverController>& popoverController() const noexcept { return popover_; }
    void setPopoverController(rt::Ref<ui::PopoverController> popover);
    const rt::Ref<ui::Image>& imageValue() const noexcept { return imageValue_; }
    // Announced to observers of "imageValue".
    void setImageValue(rt::Ref<ui::Image> image);
    // Write-only: the application's image of that name, scaled down; a nil name changes nothing.
    rt::Ref<ns::String> imageValueNamed() const noexcept { return nullptr; }
    void setImageValueNamed(const rt::Ref<ns::String>& name);
    float imageMaxLength() const noexcept { return imageMaxLength_; }
    void setImageMaxLength(float length) noexcept { imageMaxLength_ = length; }
    // The picker's source type (0, the photo library, unless set).
    long source() const noexcept { return source_; }
    void setSource(long source) noexcept { source_ = source; }

    // The reusable "FMFormImageElement" cell, bound; the controller is not noted.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Deselects the row, then presents the picker.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;
    void presentImagePicker(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                            const rt::Ref<ns::IndexPath>& indexPath);
    void dismissImagePickerController();
    // Draws imageValue at scale 1 into a size whose longest side is imageMaxLength, when a side is
    // longer than that.
    void reducedImageIfNeeded();
    // imageValue under the key, nil included; nothing without a key.
    void fetchValueIntoObject(const rt::Id& object) override;
    // Its cell has no text input to take the focus.
    bool canTakeFocus() const override { return false; }

    // The picker's and the popover's delegate.
    void imagePickerDidFinishPicking(const rt::Ref<ui::ImagePickerController>& picker,
                                     const rt::Ref<ns::Dictionary>& info);
    void imagePickerDidCancel(const rt::Ref<ui::ImagePickerController>& picker);
    void popoverDidDismiss(const rt::Ref<ui::PopoverController>& popover);

protected:
    ImageElement();
    // The title and the picture as it is (not scaled down).
    ImageElement(rt::Ref<ns::String> title, rt::Ref<ui::Image> image);
    ~ImageElement() override;

private:
    mutable rt::Ref<ui::ImagePickerController> picker_;
    rt::Ref<ui::PopoverController> popover_;
    rt::Ref<ui::Image> imageValue_;
    float imageMaxLength_;
    long source_ = 0;
};

class ImageTableViewCell : public EntryTableViewCell {
    RT_CLASS(ImageTableViewCell)
public:
    const rt::Ref<ImageElement>& imageElement() const noexcept { return imageElement_; }
    // Announced to observers of "imageElement"; the thumbnail then follows the new element's
    // imageValue (and no longer the old one's).
    void setImageElement(rt::Ref<ImageElement> element);
    const rt::Ref<ui::Button>& imageViewButton() const noexcept { return imageViewButton_; }

    // The entry cell's binding, then the element, the row image and the thumbnail.
    void prepareForElement(const rt::Ref<EntryElement>& element, const rt::Ref<ui::TableView>& table) override;
    // The thumbnail: a square 2 inside the top, bottom and right edges, noted as the section's
    // entry position; the title up to 2 before it, less the row image's room.
    void recalculateDetailImageViewPosition();
    // The thumbnail's own tap does nothing.
    void handleImageSelected() {}

protected:
    ImageTableViewCell();
    ~ImageTableViewCell() override;
    // The thumbnail button; no text field.
    void createSubviews() override;
    void layoutSubviews() override;

private:
    void showImageValue();

    rt::Ref<ImageElement> imageElement_;
    rt::Ref<ui::Button> imageViewButton_;
    rt::Ref<rt::Object> observer_; // hears the element's imageValue for the cell
};

} // namespace fm
