#include "platform/uikit/refresh_control.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/event.h"

namespace ui {

RefreshControl::RefreshControl() : Control(cg::Rect::make(0, 0, 320, 60)) {}

void RefreshControl::setRefreshing(bool refreshing) {
    rt::KeyChange change(this, "refreshing");
    refreshing_ = refreshing;
}

void RefreshControl::beginRefreshing() {
    setRefreshing(true);
}

void RefreshControl::endRefreshing() {
    setRefreshing(false);
}

bool RefreshControl::pullToRefresh() {
    if (refreshing_ || !isEnabled()) return false;
    rt::Ref<RefreshControl> self = rt::retained(this);
    setRefreshing(true);
    sendActionsForEvents(ControlEvent::ValueChanged, nullptr);
    return true;
}

RT_DEFINE_CLASS(RefreshControl, "UIRefreshControl", Control,
                rt::prop("refreshing", &RefreshControl::isRefreshing, {.getter = "isRefreshing"}),
                rt::method("beginRefreshing", &RefreshControl::beginRefreshing),
                rt::method("endRefreshing", &RefreshControl::endRefreshing))

} // namespace ui
