#include "platform/uikit/segmented_control.h"

#include <cmath>

#include "platform/foundation/array.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/event.h"
#include "platform/uikit/image.h"
#include "platform/uikit/touch.h"

namespace ui {

SegmentedControl::SegmentedControl() : SegmentedControl(cg::Rect::zero()) {}

SegmentedControl::SegmentedControl(const cg::Rect& frame) : Control(frame) {}

rt::Ref<SegmentedControl> SegmentedControl::withItems(const rt::Ref<ns::Array>& items) {
    auto control = rt::make<SegmentedControl>();
    if (items)
        for (const rt::Id& item : *items) {
            Segment segment;
            if (auto title = rt::cast<ns::String>(item)) segment.title = title;
            else if (auto image = rt::cast<Image>(item)) segment.image = image;
            control->segments_.push_back(std::move(segment));
        }
    return control;
}

void SegmentedControl::setSelectedSegmentIndex(long index) {
    if (index < SegmentedControlNoSegment || index >= static_cast<long>(segments_.size())) {
        ns::log("-[UISegmentedControl setSelectedSegmentIndex:]: index %ld is beyond the %lu segments", index,
                static_cast<unsigned long>(segments_.size()));
        return;
    }
    rt::KeyChange change(this, "selectedSegmentIndex");
    selected_ = index;
}

void SegmentedControl::setMomentary(bool momentary) {
    rt::KeyChange change(this, "momentary");
    momentary_ = momentary;
}

void SegmentedControl::insertSegmentWithTitle(rt::Ref<ns::String> title, std::size_t index, bool) {
    index = std::min(index, segments_.size());
    segments_.insert(segments_.begin() + static_cast<long>(index), Segment{std::move(title), nullptr, true});
    if (selected_ >= static_cast<long>(index)) setSelectedSegmentIndex(selected_ + 1);
}

void SegmentedControl::removeSegmentAtIndex(std::size_t index, bool) {
    if (index >= segments_.size()) return;
    segments_.erase(segments_.begin() + static_cast<long>(index));
    if (selected_ == static_cast<long>(index)) setSelectedSegmentIndex(SegmentedControlNoSegment);
    else if (selected_ > static_cast<long>(index)) setSelectedSegmentIndex(selected_ - 1);
}

void SegmentedControl::removeAllSegments() {
    segments_.clear();
    setSelectedSegmentIndex(SegmentedControlNoSegment);
}

rt::Ref<ns::String> SegmentedControl::titleForSegmentAtIndex(std::size_t index) const {
    return index < segments_.size() ? segments_[index].title : nullptr;
}

void SegmentedControl::setTitleForSegmentAtIndex(rt::Ref<ns::String> title, std::size_t index) {
    if (index < segments_.size()) segments_[index].title = std::move(title);
}

rt::Ref<Image> SegmentedControl::imageForSegmentAtIndex(std::size_t index) const {
    return index < segments_.size() ? segments_[index].image : nullptr;
}

void SegmentedControl::setImageForSegmentAtIndex(rt::Ref<Image> image, std::size_t index) {
    if (index < segments_.size()) segments_[index].image = std::move(image);
}

bool SegmentedControl::isEnabledForSegmentAtIndex(std::size_t index) const {
    return index < segments_.size() && segments_[index].enabled;
}

void SegmentedControl::setEnabledForSegmentAtIndex(bool enabled, std::size_t index) {
    if (index < segments_.size()) segments_[index].enabled = enabled;
}

void SegmentedControl::didCompleteTap(const rt::Ref<Event>& event) {
    if (segments_.empty() || !event || event->touchList().empty() || bounds().size.width <= 0) return;
    const double x = event->touchList().front()->locationInView(this).x - bounds().minX();
    const double width = bounds().size.width / static_cast<double>(segments_.size());
    const auto index = std::min(segments_.size() - 1, static_cast<std::size_t>(std::max(0.0, std::floor(x / width))));
    if (!segments_[index].enabled) return;
    if (momentary_) {
        selected_ = static_cast<long>(index);
        sendActionsForEvents(ControlEvent::ValueChanged, event);
        selected_ = SegmentedControlNoSegment;
        return;
    }
    if (selected_ == static_cast<long>(index)) return;
    setSelectedSegmentIndex(static_cast<long>(index));
    sendActionsForEvents(ControlEvent::ValueChanged, event);
}

void SegmentedControl::setSegmentedControlStyle(long style) {
    rt::KeyChange change(this, "segmentedControlStyle");
    style_ = style;
}

RT_DEFINE_CLASS(SegmentedControl, "UISegmentedControl", Control,
                rt::prop("segmentedControlStyle", &SegmentedControl::segmentedControlStyle,
                         &SegmentedControl::setSegmentedControlStyle),
                rt::prop("selectedSegmentIndex", &SegmentedControl::selectedSegmentIndex,
                         &SegmentedControl::setSelectedSegmentIndex),
                rt::prop("numberOfSegments", &SegmentedControl::numberOfSegments),
                rt::prop("momentary", &SegmentedControl::isMomentary, &SegmentedControl::setMomentary,
                         {.getter = "isMomentary"}),
                rt::method("titleForSegmentAtIndex:", &SegmentedControl::titleForSegmentAtIndex),
                rt::method("setTitle:forSegmentAtIndex:", &SegmentedControl::setTitleForSegmentAtIndex),
                rt::method("insertSegmentWithTitle:atIndex:animated:", &SegmentedControl::insertSegmentWithTitle),
                rt::method("removeAllSegments", &SegmentedControl::removeAllSegments))

} // namespace ui
