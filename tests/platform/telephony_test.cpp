// The telephony stand-in: the SIM's carrier as the simulated device has it now. The message
// composer: whether the device can send text, its delegate told by name, its bar under the status
// bar and its body shown whole in the entry field. The private status bar the application answers for each layout.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"

#include "platform/runtime/kvc.h"
#include "platform/foundation/exception.h"
#include "platform/messageui/message_compose_view_controller.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/status_bar.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"
#include "platform/sim/profile.h"
#include "platform/telephony/carrier.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_rendering.h"

namespace {

TEST(Telephony, TheCarrierIsTheDevicesAndNoneWithoutASIM) {
    auto profile = sim::loadProfileNamed("iphone_xr");
    ASSERT_TRUE(profile);
    profile->carrier->iso = "de";
    profile->carrier->allowsVOIP = false;
    {
        sim::ScopedDevice device(*profile);
        auto carrier = ct::TelephonyNetworkInfo::make()->subscriberCellularProvider();
        ASSERT_TRUE(carrier);
        EXPECT_EQ(carrier->mobileNetworkCode()->utf8(), "01");
        EXPECT_EQ(carrier->mobileCountryCode()->utf8(), "262");
        EXPECT_EQ(carrier->carrierName()->utf8(), "Kestrel Mobile");
        EXPECT_EQ(carrier->isoCountryCode()->utf8(), "de");
        EXPECT_FALSE(carrier->allowsVOIP());
        // By name, as the platform's key paths reach it.
        auto info = ct::TelephonyNetworkInfo::make();
        auto code = rt::cast<ns::String>(ns::valueForKeyPath(info, "subscriberCellularProvider.mobileNetworkCode"));
        ASSERT_TRUE(code);
        EXPECT_EQ(code->utf8(), "01");
    }
    auto ipod = sim::loadProfileNamed("ipod_touch");
    ASSERT_TRUE(ipod);
    sim::ScopedDevice device(*ipod);
    EXPECT_FALSE(ct::TelephonyNetworkInfo::make()->subscriberCellularProvider());
}

TEST(Telephony, ServicesAreKeyedInTheProfilesOrderFromTwelveAndNilWithoutASIM) {
    struct Case {
        const char* name;
        const char* version;
        bool sim;
        std::vector<std::string> ids; // expected keys, in order; empty: nil dictionaries
    };
    const Case cases[] = {
        {"two SIMs", "12.4.1", true, {"0000000100000002", "0000000100000001"}},
        {"before twelve", "11.4", true, {}},
        {"no SIM", "12.4.1", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto profile = sim::loadProfileNamed("iphone_xr");
        ASSERT_TRUE(profile);
        sim::CarrierService two{"0000000100000002", "CTRadioAccessTechnologyWCDMA", "Two", "262", "01", "de"};
        profile->carrier = sim::Carrier{"Home", "310", "410"};
        profile->carrier->services = {two, {"0000000100000001", "CTRadioAccessTechnologyLTE"}};
        profile->systemVersion = c.version;
        if (!c.sim) profile->carrier.reset();
        sim::ScopedDevice device(*profile);
        auto info = ct::TelephonyNetworkInfo::make();
        auto providers = info->serviceSubscriberCellularProviders();
        auto technologies = info->serviceCurrentRadioAccessTechnology();
        EXPECT_EQ(bool(info->currentRadioAccessTechnology()), c.sim);
        if (c.ids.empty()) {
            EXPECT_FALSE(providers);
            EXPECT_FALSE(technologies);
            continue;
        }
        ASSERT_TRUE(providers && technologies);
        std::vector<std::string> keys;
        for (std::size_t i = 0; i < providers->allKeys()->count(); ++i)
            keys.push_back(rt::cast<ns::String>(providers->allKeys()->objectAtIndex(i))->utf8());
        EXPECT_EQ(keys, c.ids);
        auto second = rt::cast<ct::Carrier>(providers->objectForKey("0000000100000002"));
        auto first = rt::cast<ct::Carrier>(providers->objectForKey("0000000100000001"));
        EXPECT_EQ(second->carrierName()->utf8() + second->mobileCountryCode()->utf8() + second->isoCountryCode()->utf8(),
                  "Two262de");
        EXPECT_EQ(first->carrierName()->utf8() + first->mobileNetworkCode()->utf8(), "Home410") << "the carrier's own";
        EXPECT_EQ(rt::cast<ns::String>(technologies->objectForKey("0000000100000002"))->utf8(),
                  "CTRadioAccessTechnologyWCDMA");
        EXPECT_EQ(rt::cast<ns::String>(technologies->objectForKey("0000000100000001"))->utf8(),
                  "CTRadioAccessTechnologyLTE");
    }
}

TEST(Telephony, ARadioTechnologyOfNullIsNoneForTheCarrierAndItsServices) {
    std::string error;
    auto profile = sim::loadProfileNamed("iphone7_no_radio_tech", &error);
    ASSERT_TRUE(profile && profile->carrier) << error;
    sim::ScopedDevice device(*profile);
    auto info = ct::TelephonyNetworkInfo::make();
    EXPECT_TRUE(info->subscriberCellularProvider());
    EXPECT_FALSE(info->currentRadioAccessTechnology());
    ASSERT_TRUE(info->serviceSubscriberCellularProviders() && info->serviceCurrentRadioAccessTechnology());
    EXPECT_EQ(info->serviceSubscriberCellularProviders()->count(), 1u);
    EXPECT_EQ(info->serviceCurrentRadioAccessTechnology()->count(), 0u) << "the service takes the carrier's none";
}

TEST(Telephony, ACarrierIsASnapshotWhileTheDeviceChanges) {
    auto profile = sim::loadProfileNamed("iphone_xr");
    ASSERT_TRUE(profile);
    sim::ScopedDevice device(*profile);
    auto info = ct::TelephonyNetworkInfo::make();
    auto before = info->subscriberCellularProvider();
    sim::Device::shared().change(sim::Aspect::Carrier, [](sim::Profile& p) { p.carrier.reset(); });
    EXPECT_FALSE(info->subscriberCellularProvider());
    ASSERT_TRUE(before);
    EXPECT_EQ(before->mobileNetworkCode()->utf8(), "01");
}

// Records each result it is told.
class ComposerListener : public rt::Object {
    RT_CLASS(ComposerListener)
public:
    void finished(const rt::Id&, long result) { results.push_back(result); }
    std::vector<long> results;

private:
    ComposerListener() = default;
};

} // namespace

RT_DEFINE_CLASS(ComposerListener, "PlatformTestComposerListener", rt::Object,
                rt::method("messageComposeViewController:didFinishWithResult:", &ComposerListener::finished))

namespace {

TEST(MessageComposer, CanSendTextIsTheProfilesAndTheWeakDelegateIsToldByName) {
    auto profile = sim::loadProfileNamed("iphone7");
    ASSERT_TRUE(profile);
    for (const bool can : {true, false}) {
        profile->messaging.canSendText = can;
        sim::ScopedDevice device(*profile);
        EXPECT_EQ(mf::MessageComposeViewController::canSendText(), can);
    }
    const rt::Protocol* protocol = rt::Protocol::named("MFMessageComposeViewControllerDelegate");
    ASSERT_EQ(protocol, &mf::messageComposeViewControllerDelegateProtocol());
    EXPECT_EQ(protocol->method(rt::Sel("messageComposeViewController:didFinishWithResult:"), true)->types, "v@:@q");

    auto composer = rt::make<mf::MessageComposeViewController>();
    EXPECT_FALSE(composer->finish(mf::MessageComposeResult::Sent)) << "no delegate";
    auto listener = rt::make<ComposerListener>();
    composer->setMessageComposeDelegate(listener);
    EXPECT_TRUE(composer->finish(mf::MessageComposeResult::Failed));
    EXPECT_TRUE(composer->finish(mf::MessageComposeResult::Cancelled));
    // The bar's Cancel, at the left, and Send, at the right, finish it as the system composer's do.
    const rt::Ref<ui::View> bar = composer->view()->subviewList().front();
    std::vector<std::string> titles;
    for (const rt::Ref<ui::View>& view : bar->subviewList())
        if (auto button = rt::cast<ui::Button>(view)) {
            titles.push_back(button->currentTitle()->utf8());
            button->sendActionsForControlEvents(ui::ControlEvent::TouchUpInside);
        }
    EXPECT_EQ(titles, (std::vector<std::string>{"Cancel", "Send"}));
    EXPECT_EQ(listener->results, (std::vector<long>{2, 0, 0, 1}));
    listener = nullptr;
    EXPECT_FALSE(composer->messageComposeDelegate()) << "held weakly";
}

// On screen, on each device, the bar stands under the status bar's band and the body not sent yet
// shows whole in the entry field at the foot, dark on white, above the home indicator's band,
// however long; nothing of a sent message's green bubble.
TEST(MessageComposer, TheBarIsUnderTheStatusBarAndTheBodyIsInTheEntryFieldAtTheFoot) {
    for (const char* name : {"iphone7", "iphone_xr"})
        for (const char* body : {"Test SMS", "A longer message, which takes four lines or more in the entry field at "
                                             "the foot of the screen, at the composer's font"}) {
            SCOPED_TRACE(std::string(name) + ": " + body);
            auto profile = sim::loadProfileNamed(name);
            ASSERT_TRUE(profile);
            sim::ScopedDevice device(*profile);
            auto composer = rt::make<mf::MessageComposeViewController>();
            composer->setBody(ns::String::make(body));
            const rt::Ref<ui::View> view = composer->view();
            EXPECT_EQ(view->subviewList().front()->frame().maxY(), ui::statusBarBand(*profile) + 44);
            std::vector<double> whole; // the foot of the view that drew the body whole
            const auto token = ui::addTextDrawnObserver([&](const ui::View& drawer, const ns::String& text, bool all) {
                if (all && text.utf8() == body)
                    whole.push_back(drawer.convertRectToView(drawer.bounds(), view.get()).maxY());
            });
            cg::RecordingContext drawn;
            ui::renderView(*view, drawn);
            ui::removeTextDrawnObserver(token);
            ASSERT_EQ(whole.size(), 1u) << "the body drawn whole, once";
            const double foot = profile->screen.height - profile->safeAreaInsets.bottom;
            EXPECT_LE(whole[0], foot - 8) << "in the field, above the home indicator's band";
            EXPECT_GT(whole[0], foot - 200) << "at the foot";
            const auto picture = ui::pictureOf(drawn.displayList(), view->bounds().size);
            int green = 0;
            for (int y = 0; y < picture->height(); y += 2)
                for (int x = 0; x < picture->width(); x += 2)
                    if (const cg::Pixel p = picture->pixel(x, y); p.green > 150 && p.red < 120) ++green;
            EXPECT_EQ(green, 0);
        }
}

TEST(PrivateStatusBar, TheProfilesLayoutAnswersTheKeyPathsOfItsRelease) {
    struct Case {
        const char* name;
        sim::StatusBarLayout layout;
        const char* version;
        const char* path; // from the status bar; "" for itself
        std::string expected; // the value's description; "raises" for the exception
    };
    const Case cases[] = {
        {"none", sim::StatusBarLayout::None, "12.4.1", "", "nil"},
        {"old, the item view's dBm", sim::StatusBarLayout::Old, "10.3", "foregroundView.subviews", "2:-87:3"},
        {"new before 12", sim::StatusBarLayout::New, "11.4", "statusBar.items._UIStatusBarCellularItem._signalView._numberOfBars", "3"},
        {"new from 12: identifiers in order", sim::StatusBarLayout::New, "12.4.1", "statusBar.items", "_UIStatusBarTimeItem,_UIStatusBarCellularExpandedItem;2,_UIStatusBarBatteryItem"},
        {"a key a node lacks", sim::StatusBarLayout::New, "12.4.1", "foregroundView", "nil"},
        {"broken", sim::StatusBarLayout::Broken, "12.4.1", "statusBar.items", "raises"},
    };
    auto profile = sim::loadProfileNamed("iphone7");
    ASSERT_TRUE(profile);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        profile->systemVersion = c.version;
        profile->statusBar.layout = c.layout;
        profile->statusBar.signalRaw = -87;
        profile->statusBar.signalBars = 3;
        sim::ScopedDevice device(*profile);
        std::string seen;
        try {
            const rt::Id bar = ui::detail::makeStatusBar(*sim::currentDevice());
            const rt::Id value = *c.path ? ns::valueForKeyPath(bar, c.path) : bar;
            if (!value) {
                seen = "nil";
            } else if (auto views = rt::cast<ns::Array>(value)) {
                // The count, then the signal item's dBm and bars.
                seen = std::to_string(views->count());
                for (const rt::Id& view : *views)
                    if (view->isKindOfClass(*rt::Class::named("UIStatusBarSignalStrengthItemView")))
                        seen += ":" + view->valueForKey("signalStrengthRaw")->description() + ":" +
                                view->valueForKey("signalStrengthBars")->description();
            } else if (auto items = rt::cast<ns::Dictionary>(value)) {
                for (const auto& [key, item] : *items) {
                    seen += (seen.empty() ? "" : ",") + key->valueForKey("object")->description();
                    if (key->description() == "_UIStatusBarCellularExpandedItem")
                        seen += ";" + ns::valueForKeyPath(item, "_statusBar._currentData._cellularEntry._status")->description();
                }
            } else {
                seen = value->description();
            }
        } catch (const ns::Exception& e) {
            EXPECT_EQ(e.name(), "NSUndefinedKeyException");
            seen = "raises";
        }
        EXPECT_EQ(seen, c.expected);
    }
}

} // namespace
