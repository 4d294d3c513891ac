#pragma once
// ui::RefreshControl ("UIRefreshControl"): the pull-to-refresh indicator. A user's pull begins
// refreshing and sends value-changed (4096); beginRefreshing and endRefreshing from code send
// nothing.

#include "platform/uikit/control.h"

namespace ui {

class RefreshControl : public Control {
    RT_CLASS(RefreshControl)
public:
    bool isRefreshing() const noexcept { return refreshing_; }
    void beginRefreshing();
    void endRefreshing();
    // What a user's pull does; nothing while refreshing or disabled. False when nothing happened.
    bool pullToRefresh();

protected:
    RefreshControl();

private:
    void setRefreshing(bool refreshing);

    bool refreshing_ = false;
};

} // namespace ui
