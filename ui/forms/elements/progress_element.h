#pragma once
// fm::ProgressElement ("FMProgressElement"): a row showing one progress bar, centred. The element
// owns the bar; each cell made for it takes the bar in, so only the latest cell shows it.

#include "ui/forms/element.h"

namespace ui {
class ProgressView;
}

namespace fm {

class ProgressElement : public Element {
    RT_CLASS(ProgressElement)
public:
    const rt::Ref<ui::ProgressView>& bar() const noexcept { return bar_; }
    void setBar(rt::Ref<ui::ProgressView> bar) { bar_ = std::move(bar); }
    float progress() const noexcept { return progress_; }
    // Also the bar's progress, unanimated.
    void setProgress(float progress);

    // A new cell every time (no reuse), the bar across its content view less 30 a side.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;

protected:
    ProgressElement();
    ~ProgressElement() override;

private:
    rt::Ref<ui::ProgressView> bar_;
    float progress_ = 0;
};

} // namespace fm
