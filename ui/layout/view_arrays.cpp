#include "ui/layout/view_arrays.h"

#include "platform/foundation/array.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "ui/layout/view_additions.h"

namespace lc {

namespace {

using EntryPoint = std::vector<rt::Ref<Constraint>> (*)(const rt::Ref<ui::View>&, const MakerBlock&);

std::vector<rt::Ref<Constraint>> each(const ViewList& views, const MakerBlock& block, EntryPoint entry) {
    std::vector<rt::Ref<Constraint>> all;
    for (std::size_t i = 0; i < views.size(); ++i) {
        std::vector<rt::Ref<Constraint>> made = entry(views[i], block);
        all.insert(all.end(), made.begin(), made.end());
    }
    return all;
}

// The views of an array, in order; other elements are left out.
ViewList viewsOf(const rt::Ref<ns::Array>& array) {
    ViewList views;
    if (!array) return views;
    for (const rt::Id& object : *array)
        if (auto view = rt::cast<ui::View>(object)) views.push_back(view);
    return views;
}

// The start and end attributes and the length along the axis.
struct AxisAttributes {
    ui::LayoutAttribute start, end, length;
};

AxisAttributes axisAttributes(std::uint64_t axis) {
    if (axis == 0) return {ui::LayoutAttribute::Left, ui::LayoutAttribute::Right, ui::LayoutAttribute::Width};
    return {ui::LayoutAttribute::Top, ui::LayoutAttribute::Bottom, ui::LayoutAttribute::Height};
}

// Runs `place(make, i, last)` in makeConstraints for each view, the count read at each step.
template <class Place>
void distribute(const ViewList& views, const Place& place) {
    if (views.size() < 2) return;
    const rt::Ref<ui::View> container = commonSuperviewOfViews(views);
    if (!container) return;
    for (std::size_t i = 0; i < views.size(); ++i) {
        const bool last = double(views.size() - 1) == double(i);
        makeConstraints(views[i], [&](ConstraintMaker& make) { place(make, container, i, last); });
    }
}

rt::Ref<ViewAttribute> guideAttribute(const rt::Ref<ui::ViewController>& controller, bool top,
                                      ui::LayoutAttribute attribute) {
    if (!controller) return nullptr;
    const rt::Id guide = top ? rt::Id(controller->topLayoutGuide()) : rt::Id(controller->bottomLayoutGuide());
    return ViewAttribute::make(controller->view(), guide, attribute);
}

} // namespace

std::vector<rt::Ref<Constraint>> makeConstraints(const ViewList& views, const MakerBlock& block) {
    return each(views, block, &makeConstraints);
}
std::vector<rt::Ref<Constraint>> updateConstraints(const ViewList& views, const MakerBlock& block) {
    return each(views, block, &updateConstraints);
}
std::vector<rt::Ref<Constraint>> remakeConstraints(const ViewList& views, const MakerBlock& block) {
    return each(views, block, &remakeConstraints);
}
std::vector<rt::Ref<Constraint>> makeConstraints(const rt::Ref<ns::Array>& views, const MakerBlock& block) {
    return makeConstraints(viewsOf(views), block);
}
std::vector<rt::Ref<Constraint>> updateConstraints(const rt::Ref<ns::Array>& views, const MakerBlock& block) {
    return updateConstraints(viewsOf(views), block);
}
std::vector<rt::Ref<Constraint>> remakeConstraints(const rt::Ref<ns::Array>& views, const MakerBlock& block) {
    return remakeConstraints(viewsOf(views), block);
}

rt::Ref<ui::View> commonSuperviewOfViews(const ViewList& views) {
    rt::Ref<ui::View> common;
    bool started = false;
    for (const rt::Ref<ui::View>& view : views) {
        if (!view) continue;
        common = started ? closestCommonSuperview(view, common) : view;
        started = true;
    }
    return common;
}

rt::Ref<ui::View> commonSuperviewOfViews(const rt::Ref<ns::Array>& views) {
    return commonSuperviewOfViews(viewsOf(views));
}

void distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(const ViewList& views, std::uint64_t axis,
                                                                    double fixedSpacing, double leadSpacing,
                                                                    double tailSpacing) {
    const AxisAttributes a = axisAttributes(axis);
    rt::Ref<ui::View> previous;
    distribute(views, [&](ConstraintMaker& make, const rt::Ref<ui::View>& container, std::size_t i, bool last) {
        if (!previous) {
            make.addConstraintWithLayoutAttribute(a.start)->equalTo(container)->offset(leadSpacing);
        } else {
            make.addConstraintWithLayoutAttribute(a.length)->equalTo(previous);
            make.addConstraintWithLayoutAttribute(a.start)->equalTo(attribute(previous, a.end))->offset(fixedSpacing);
            if (last) make.addConstraintWithLayoutAttribute(a.end)->equalTo(container)->offset(-tailSpacing);
        }
        previous = views[i];
    });
}

void distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(const ViewList& views, std::uint64_t axis,
                                                                       double fixedItemLength, double leadSpacing,
                                                                       double tailSpacing) {
    const AxisAttributes a = axisAttributes(axis);
    distribute(views, [&](ConstraintMaker& make, const rt::Ref<ui::View>& container, std::size_t i, bool last) {
        if (i == 0) {
            make.addConstraintWithLayoutAttribute(a.start)->equalTo(container)->offset(leadSpacing);
            make.addConstraintWithLayoutAttribute(a.length)->equalTo(fixedItemLength);
            return;
        }
        make.addConstraintWithLayoutAttribute(a.length)->equalTo(fixedItemLength);
        if (last) {
            make.addConstraintWithLayoutAttribute(a.end)->equalTo(container)->offset(-tailSpacing);
            return;
        }
        const double share = double(i) / double(views.size() - 1);
        make.addConstraintWithLayoutAttribute(a.end)
            ->equalTo(container)
            ->multipliedBy(share)
            ->offset((1 - share) * (fixedItemLength + leadSpacing) - tailSpacing * share);
    });
}

void distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(const rt::Ref<ns::Array>& views,
                                                                    std::uint64_t axis, double fixedSpacing,
                                                                    double leadSpacing, double tailSpacing) {
    distributeViewsAlongAxisWithFixedSpacingLeadSpacingTailSpacing(viewsOf(views), axis, fixedSpacing, leadSpacing,
                                                                   tailSpacing);
}

void distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(const rt::Ref<ns::Array>& views,
                                                                       std::uint64_t axis, double fixedItemLength,
                                                                       double leadSpacing, double tailSpacing) {
    distributeViewsAlongAxisWithFixedItemLengthLeadSpacingTailSpacing(viewsOf(views), axis, fixedItemLength,
                                                                      leadSpacing, tailSpacing);
}

rt::Ref<ViewAttribute> topLayoutGuide(const rt::Ref<ui::ViewController>& c) {
    return guideAttribute(c, true, ui::LayoutAttribute::Bottom);
}
rt::Ref<ViewAttribute> topLayoutGuideTop(const rt::Ref<ui::ViewController>& c) {
    return guideAttribute(c, true, ui::LayoutAttribute::Top);
}
rt::Ref<ViewAttribute> topLayoutGuideBottom(const rt::Ref<ui::ViewController>& c) {
    return guideAttribute(c, true, ui::LayoutAttribute::Bottom);
}
rt::Ref<ViewAttribute> bottomLayoutGuide(const rt::Ref<ui::ViewController>& c) {
    return guideAttribute(c, false, ui::LayoutAttribute::Top);
}
rt::Ref<ViewAttribute> bottomLayoutGuideTop(const rt::Ref<ui::ViewController>& c) {
    return guideAttribute(c, false, ui::LayoutAttribute::Top);
}
rt::Ref<ViewAttribute> bottomLayoutGuideBottom(const rt::Ref<ui::ViewController>& c) {
    return guideAttribute(c, false, ui::LayoutAttribute::Bottom);
}

} // namespace lc
