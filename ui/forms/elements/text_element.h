#pragma once
// fm::TextElement ("FMTextElement"): a title over a block of wrapped text, the row as high as
// the text needs.

#include "ui/forms/root_element.h"

namespace ui {
class Color;
class Image;
} // namespace ui

namespace fm {

class TextElement : public RootElement {
    RT_CLASS(TextElement)
public:
    const rt::Ref<ns::String>& text() const noexcept { return text_; }
    void setText(rt::Ref<ns::String> text) { text_ = std::move(text); }
    // Black unless set.
    const rt::Ref<ui::Color>& color() const noexcept { return color_; }
    void setColor(rt::Ref<ui::Color> color) { color_ = std::move(color); }
    const rt::Ref<ui::Image>& image() const noexcept { return image_; }
    void setImage(rt::Ref<ui::Image> image) { image_ = std::move(image); }

    // A subtitle cell, reused under "FMFormText": the title, then the text wrapped in the
    // appearance's value font and the element's colour.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Without text, the element's own height. Otherwise the text's height wrapped within the
    // table's width less 40 (grouped) or 20 (plain), plus 40, plus 30 under a title; never less
    // than the element's height.
    double getRowHeightForTableView(const rt::Ref<ui::TableView>& table) const override;
    // The text, under the element's key; nothing without a key.
    void fetchValueIntoObject(const rt::Id& object) override;

protected:
    TextElement();
    // The platform's initWithText:.
    explicit TextElement(rt::Ref<ns::String> text);
    ~TextElement() override;

private:
    rt::Ref<ns::String> text_;
    rt::Ref<ui::Color> color_;
    rt::Ref<ui::Image> image_;
};

} // namespace fm
