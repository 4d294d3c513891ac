#pragma once
// ui::SegmentedControl ("UISegmentedControl"): a row of equally wide segments, at most one
// selected (-1: none). A tap on an enabled segment selects it and sends value-changed (4096) when
// the selection changed (every time for a momentary control, which shows the tapped segment as
// selected while its targets hear value-changed, then none again). Selecting from code, or by key,
// sends nothing. Its tint is the view tint.

#include <vector>

#include "platform/foundation/string.h"
#include "platform/uikit/control.h"

namespace ns {
class Array;
}

namespace ui {

class Image;

inline constexpr long SegmentedControlNoSegment = -1;

class SegmentedControl : public Control {
    RT_CLASS(SegmentedControl)
public:
    // One segment per item: a string is a title, an image an image.
    static rt::Ref<SegmentedControl> withItems(const rt::Ref<ns::Array>& items);

    std::size_t numberOfSegments() const noexcept { return segments_.size(); }
    long selectedSegmentIndex() const noexcept { return selected_; }
    // -1 or an index of a segment; anything else is logged and ignored.
    void setSelectedSegmentIndex(long index);
    bool isMomentary() const noexcept { return momentary_; }
    void setMomentary(bool momentary);
    // The bar style (plain 0, bordered 1, bar 2, bezeled 3), kept as its number.
    long segmentedControlStyle() const noexcept { return style_; }
    void setSegmentedControlStyle(long style);

    // An index past the end appends.
    void insertSegmentWithTitle(rt::Ref<ns::String> title, std::size_t index, bool animated = false);
    void removeSegmentAtIndex(std::size_t index, bool animated = false);
    void removeAllSegments();
    rt::Ref<ns::String> titleForSegmentAtIndex(std::size_t index) const;
    void setTitleForSegmentAtIndex(rt::Ref<ns::String> title, std::size_t index);
    rt::Ref<Image> imageForSegmentAtIndex(std::size_t index) const;
    void setImageForSegmentAtIndex(rt::Ref<Image> image, std::size_t index);
    bool isEnabledForSegmentAtIndex(std::size_t index) const;
    void setEnabledForSegmentAtIndex(bool enabled, std::size_t index);

protected:
    SegmentedControl();
    explicit SegmentedControl(const cg::Rect& frame);
    void didCompleteTap(const rt::Ref<Event>& event) override;

private:
    struct Segment {
        rt::Ref<ns::String> title;
        rt::Ref<Image> image;
        bool enabled = true;
    };
    std::vector<Segment> segments_;
    long selected_ = SegmentedControlNoSegment;
    bool momentary_ = false;
    long style_ = 0;
};

} // namespace ui
