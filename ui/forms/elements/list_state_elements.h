#pragma once
// The rows a list shows while it has no rows of its own: fm::LoadingElement ("FMLoadingElement"),
// a spinner until data arrives, and fm::EmptyListElement ("FMEmptyListElement"), a message when the
// data holds nothing. Both are label elements; a tap on the spinner row is a label row's (its
// onSelected and action run), a tap on the message row does nothing.

#include "ui/forms/elements/label_element.h"

namespace fm {

class LoadingElement : public LabelElement {
    RT_CLASS(LoadingElement)
public:
    // The platform's activity indicator style: large white 0, white 1, grey 2 (the default).
    long indicatorStyle() const noexcept { return indicatorStyle_; }
    void setIndicatorStyle(long style) noexcept { indicatorStyle_ = style; }

    // A new cell each time (never reused), with a started spinner: right of a title, at
    // (W - w/2 - 10, 24), else centred at ((W - w)/2, 12), W the controller's view's width and w
    // the spinner's.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;

protected:
    LoadingElement() = default;
    ~LoadingElement() override;

private:
    long indicatorStyle_ = 2;
};

class EmptyListElement : public LabelElement {
    RT_CLASS(EmptyListElement)
public:
    // A plain cell reused under "FMEmptyListElement": the title centred, in the appearance's
    // label font, grey (white level 0.7), no selection.
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;

protected:
    // Titled "Empty".
    EmptyListElement();
    // The platform's initWithTitle:Value:.
    EmptyListElement(rt::Ref<ns::String> title, rt::Id value);
    ~EmptyListElement() override;
};

} // namespace fm
