#include "platform/uikit/status_bar.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "platform/uikit/view.h"

namespace ui::detail {

namespace {

using StatusBarKeys = std::vector<std::pair<std::string, rt::Id>>;

rt::Id statusBarLookUp(const StatusBarKeys& keys, std::string_view key) {
    for (const auto& [name, value] : keys)
        if (name == key) return value;
    return {};
}

[[noreturn]] void statusBarRaise(const rt::Object& node, std::string_view key) {
    ns::raise(UndefinedKeyException, "[<" + std::string(node.getClass().name()) +
                                         "> valueForUndefinedKey:]: this class is not key value coding-compliant for the key " +
                                         std::string(key) + ".");
}

// A private object answering its own keys, then its properties; a key it lacks logs and answers
// nil, or raises when the node is of a broken tree.
class StatusBarNode : public rt::Object {
    RT_CLASS(StatusBarNode)
public:
    StatusBarKeys keys;
    bool raises = false;
    rt::Id valueForKey(std::string_view key) const override {
        if (rt::Id value = statusBarLookUp(keys, key)) return value;
        return rt::Object::valueForKey(key);
    }
    rt::Id valueForUndefinedKey(std::string_view key) const override {
        if (raises) statusBarRaise(*this, key);
        return rt::Object::valueForUndefinedKey(key);
    }
    std::string description() const override {
        rt::Id object = statusBarLookUp(keys, "object");
        return object ? object->description() : rt::Object::description();
    }

protected:
    StatusBarNode() = default;
};

// The same for the views of the older layout.
class StatusBarItemView : public View {
    RT_CLASS(StatusBarItemView)
public:
    StatusBarKeys keys;
    rt::Id valueForKey(std::string_view key) const override {
        if (rt::Id value = statusBarLookUp(keys, key)) return value;
        return View::valueForKey(key);
    }

protected:
    StatusBarItemView() = default;
};

class StatusBarSignalStrengthItemView : public StatusBarItemView {
    RT_CLASS(StatusBarSignalStrengthItemView)
protected:
    StatusBarSignalStrengthItemView() = default;
};

} // namespace

} // namespace ui::detail

namespace ui::detail {

RT_DEFINE_CLASS(StatusBarNode, "UIStatusBar", rt::Object)
RT_DEFINE_CLASS(StatusBarItemView, "UIStatusBarItemView", View)
RT_DEFINE_CLASS(StatusBarSignalStrengthItemView, "UIStatusBarSignalStrengthItemView", StatusBarItemView)

namespace {

rt::Ref<StatusBarNode> statusBarNode(StatusBarKeys keys) {
    auto node = rt::make<StatusBarNode>();
    node->keys = std::move(keys);
    return node;
}

rt::Id statusBarOld(const sim::StatusBar& bar) {
    auto foreground = rt::make<StatusBarItemView>();
    foreground->addSubview(rt::make<StatusBarItemView>());
    auto signal = rt::make<StatusBarSignalStrengthItemView>();
    signal->keys = {{"signalStrengthRaw", ns::Number::withInt(bar.signalRaw)},
                    {"signalStrengthBars", ns::Number::withInt(bar.signalBars)}};
    foreground->addSubview(signal);
    return statusBarNode({{"foregroundView", foreground}});
}

rt::Id statusBarNew(const sim::StatusBar& bar, bool identifiedItems) {
    auto items = ns::MutableDictionary::make();
    if (identifiedItems) {
        auto entry = statusBarNode({{"_status", ns::Number::withInt(bar.cellularStatus)},
                                    {"_displayValue", ns::Number::withInt(bar.signalBars)}});
        auto data = statusBarNode({{"_cellularEntry", entry}});
        auto shared = statusBarNode({{"_currentData", data}});
        for (const std::string& name : bar.items)
            items->setObjectForKey(statusBarNode({{"_statusBar", shared}}), statusBarNode({{"object", ns::String::make(name)}}));
    } else {
        auto signalView = statusBarNode({{"_numberOfBars", ns::Number::withInt(bar.signalBars)}});
        items->setObjectForKey(statusBarNode({{"_signalView", signalView}}), ns::String::make("_UIStatusBarCellularItem"));
    }
    auto inner = statusBarNode({{"items", items}});
    return statusBarNode({{"statusBar", inner}});
}

} // namespace

rt::Id makeStatusBar(const sim::Profile& device) {
    const sim::StatusBar& bar = device.statusBar;
    switch (bar.layout) {
    case sim::StatusBarLayout::None: return {};
    case sim::StatusBarLayout::Old: return statusBarOld(bar);
    case sim::StatusBarLayout::New: return statusBarNew(bar, std::atof(device.systemVersion.c_str()) >= 12.0);
    case sim::StatusBarLayout::Broken: {
        auto node = statusBarNode({});
        node->raises = true;
        return node;
    }
    }
    return {};
}

} // namespace ui::detail
