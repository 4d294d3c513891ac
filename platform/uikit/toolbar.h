#pragma once
// ui::Toolbar ("UIToolbar"): a bar of bar button items, left to right, with a bar style (default
// 0, black 1) and translucency. Headless, nothing lays the items out; the bar fits the width it
// is given (the main screen's when it has none) and is 44 points high.

#include <vector>

#include "platform/uikit/view.h"

namespace ui {

class BarButtonItem;

class Toolbar : public View {
    RT_CLASS(Toolbar)
public:
    const std::vector<rt::Ref<BarButtonItem>>& items() const noexcept { return items_; }
    void setItems(std::vector<rt::Ref<BarButtonItem>> items, bool animated = false);
    long barStyle() const noexcept { return barStyle_; }
    void setBarStyle(long style);
    bool isTranslucent() const noexcept { return translucent_; }
    void setTranslucent(bool translucent);

    cg::Size sizeThatFits(cg::Size size) const override;

protected:
    Toolbar();
    explicit Toolbar(const cg::Rect& frame);
    ~Toolbar() override;

private:
    std::vector<rt::Ref<BarButtonItem>> items_;
    long barStyle_ = 0;
    bool translucent_ = false;
};

} // namespace ui
