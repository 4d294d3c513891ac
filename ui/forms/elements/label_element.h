#pragma once
// fm::LabelElement ("FMLabelElement"): the plain title-and-value row, with an optional image. Its
// accessory and selection follow from what a tap does; a row made with a title and a value stays
// selected after a tap, one made plain is deselected.

#include "platform/uikit/image.h"
#include "platform/uikit/table_view_cell.h"
#include "ui/forms/root_element.h"

namespace fm {

class LabelElement : public RootElement {
    RT_CLASS(LabelElement)
public:
    const rt::Ref<ui::Image>& image() const noexcept { return image_; }
    void setImage(rt::Ref<ui::Image> image) { image_ = std::move(image); }
    // Write-only: loads the application's image of that name; a nil name changes nothing.
    rt::Ref<ns::String> imageNamed() const noexcept { return nullptr; }
    void setImageNamed(const rt::Ref<ns::String>& name);
    // The image becomes the named image as a template, when the element already has an image.
    void setIconNamed(const rt::Ref<ns::String>& name);
    // None (0): the accessory follows from the actions and sections.
    long accessoryType() const noexcept { return accessoryType_; }
    void setAccessoryType(long type) noexcept { accessoryType_ = type; }
    const rt::Id& value() const noexcept { return value_; }
    void setValue(rt::Id value) { value_ = std::move(value); }
    bool keepSelected() const noexcept { return keepSelected_; }
    void setKeepSelected(bool keep) noexcept { keepSelected_ = keep; }

    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // The root's tap; then, unless keepSelected, the row is deselected, animated.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;

protected:
    LabelElement() = default;
    // The platform's initWithTitle:Value:, which keeps the row selected.
    LabelElement(rt::Ref<ns::String> title, rt::Id value);
    ~LabelElement() override;

private:
    rt::Ref<ui::Image> image_;
    long accessoryType_ = 0;
    rt::Id value_;
    bool keepSelected_ = false;
};

} // namespace fm
