// The delegate proxy: intercepted callbacks go to their signals only, the others to the real
// delegate while it lives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/delegate_proxy.h"
#include "streams/signal.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::DelegateProxy;
using rt::Id;
using rt::Ref;
using rt::Sel;

const Sel kDidSelect("picker:didSelectRow:");
const Sel kTitle("picker:titleForRow:");
const Sel kRows("numberOfRowsInPicker:");

const rt::Protocol& pickerDelegate() {
    static const rt::Protocol protocol("ESTestPickerDelegate", {{kRows, "q@:@", true},
                                                                {kDidSelect, "v@:@q", false},
                                                                {kTitle, "@@:@q", false}});
    return protocol;
}

class PickerDelegate : public rt::Object {
    RT_CLASS(PickerDelegate)
public:
    std::vector<std::string> heard;

private:
    long rows(const Id&) { return 3; }
    void didSelect(const Id&, long row) { heard.push_back("didSelect " + std::to_string(row)); }
    Ref<ns::String> title(const Id&, long row) {
        heard.push_back("title " + std::to_string(row));
        return ns::str("row " + std::to_string(row));
    }
};

RT_DEFINE_CLASS(PickerDelegate, "ESTestPickerDelegateImpl", rt::Object,
                rt::method("numberOfRowsInPicker:", &PickerDelegate::rows),
                rt::method("picker:didSelectRow:", &PickerDelegate::didSelect),
                rt::method("picker:titleForRow:", &PickerDelegate::title), rt::adopts(pickerDelegate()))

TEST(DelegateProxy, InterceptedCallbacksReachTheSignalOnlyAndOthersTheDelegate) {
    auto delegate = rt::make<PickerDelegate>();
    auto proxy = rt::make<DelegateProxy>(pickerDelegate());
    proxy->setProxiedDelegate(delegate);
    auto selections = testkit::record(proxy->signalForSelector(kDidSelect));

    rt::send(proxy, kDidSelect, nullptr, 2);
    EXPECT_EQ(testkit::show(rt::send(proxy, kTitle, nullptr, 1)), "row 1");
    EXPECT_EQ(rt::send<long>(proxy, kRows, nullptr), 3);
    EXPECT_EQ(selections.text(), "(nil,2)");
    EXPECT_EQ(delegate->heard, std::vector<std::string>{"title 1"});

    EXPECT_TRUE(proxy->respondsToSelector(kDidSelect));
    EXPECT_TRUE(proxy->respondsToSelector(kTitle));
    EXPECT_FALSE(proxy->respondsToSelector(Sel("pickerDidScroll:")));
    EXPECT_TRUE(proxy->isProxy());
    EXPECT_TRUE(rt::send<bool>(proxy, Sel("isProxy")));
    EXPECT_TRUE(proxy->getClass().conformsTo(pickerDelegate()));
    EXPECT_EQ(proxy->getClass().name(), "ESDelegateProxy");
    EXPECT_EQ(proxy->methodSignatureForSelector(kTitle)->types(), "@@:@q");
}

TEST(DelegateProxy, CallbacksForAReleasedDelegateAreDropped) {
    ns::CapturedLog log;
    auto delegate = rt::make<PickerDelegate>();
    auto proxy = rt::make<DelegateProxy>(pickerDelegate());
    proxy->setProxiedDelegate(delegate);
    auto selections = testkit::record(proxy->signalForSelector(kDidSelect));
    delegate = nullptr;

    EXPECT_EQ(proxy->proxiedDelegate(), nullptr);
    EXPECT_FALSE(proxy->respondsToSelector(kTitle));
    EXPECT_EQ(rt::send(proxy, kTitle, nullptr, 1), nullptr);
    EXPECT_EQ(rt::send<long>(proxy, kRows, nullptr), 0);
    // The intercepted callback still works without a delegate.
    EXPECT_TRUE(proxy->respondsToSelector(kDidSelect));
    rt::send(proxy, kDidSelect, nullptr, 5);
    EXPECT_EQ(selections.text(), "(nil,5)");
    EXPECT_TRUE(log.lines().empty()); // dropped quietly, not unrecognised
}

TEST(DelegateProxy, AProxyMadeItsOwnDelegateDropsTheCallbackInsteadOfForwardingForever) {
    auto proxy = rt::make<DelegateProxy>(pickerDelegate());
    ns::setValueForKey(proxy, proxy, "es_proxiedDelegate");
    EXPECT_EQ(proxy->proxiedDelegate(), proxy);
    EXPECT_EQ(rt::send(proxy, kTitle, nullptr, 3), nullptr);
    EXPECT_FALSE(proxy->respondsToSelector(kTitle));
}

} // namespace
