#include "diagnostics/audio_motion_radio_power/rf_test_view_controller.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/telephony/carrier.h"
#include "platform/uikit/application.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_item.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "ui/overlays/progress_hud.h"

namespace ft {

namespace {

const bool rfNibRegistered = registerTestScreenNib<RFTestViewController>(
    "RFTestViewController", [](const rt::Ref<ui::View>& view, RFTestViewController& screen) {
        const double width = view->bounds().width();
        auto line = [&](double y) { return addSceneLabel(view, cg::Rect::make(20, y, width - 40, 40), 17); };
        screen.setCarrier(line(160));
        screen.setNewtworkType(line(210));
        screen.setSignalStrength(line(260));
        screen.setQuestion(addSceneLabel(view, cg::Rect::make(20, 320, width - 40, 80), 17));
    });

constexpr std::string_view rfTechnologyPrefix = "CTRadioAccessTechnology";

// `text` with every occurrence of `word` removed.
std::string rfRemoving(std::string text, std::string_view word) {
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word))
        text.erase(at, word.size());
    return text;
}

// A technology without the platform's prefix; "" for nil.
std::string rfShortTechnology(const rt::Id& technology) {
    auto text = rt::cast<ns::String>(technology);
    return rfRemoving(text ? text->utf8() : std::string(), rfTechnologyPrefix);
}

std::string rfText(const rt::Ref<ns::String>& text) {
    return text ? text->utf8() : std::string();
}

bool rfHasCountryCode(const rt::Ref<ct::Carrier>& carrier) {
    return carrier && carrier->mobileCountryCode() && !carrier->mobileCountryCode()->isEmpty();
}

rt::Ref<ns::String> rfCaption(std::string_view key, const std::string& value) {
    return ns::stringWithFormat(localized(key)->utf8(), ns::String::make(value));
}

constexpr const char* rfStrengthKey = "RFTEST_CONTROLLER_NETWORK_STRENGTH";

long rfInteger(const rt::Id& value) {
    auto number = rt::cast<ns::Number>(value);
    return number ? number->integerValue() : 0;
}

// `text` with every "dbm" made "bars".
std::string rfInBars(std::string text) {
    for (auto at = text.find("dbm"); at != std::string::npos; at = text.find("dbm", at + 4))
        text.replace(at, 3, "bars");
    return text;
}

rt::Id rfStatusBarPath(std::string_view path) {
    return ns::valueForKeyPath(rt::Id(ui::Application::sharedApplication()), path);
}

} // namespace

RT_DEFINE_CLASS(RFTestViewController, "RFTestViewController", BaseModelViewController,
                rt::classMethod("extraMessage", &RFTestViewController::extraMessage),
                rt::classMethod("isSupport", &RFTestViewController::isSupport),
                rt::prop("carrier", &RFTestViewController::carrier, &RFTestViewController::setCarrier,
                         {.memory = rt::Memory::Weak}),
                rt::prop("newtworkType", &RFTestViewController::newtworkType, &RFTestViewController::setNewtworkType,
                         {.memory = rt::Memory::Weak}),
                rt::prop("signalStrength", &RFTestViewController::signalStrength,
                         &RFTestViewController::setSignalStrength, {.memory = rt::Memory::Weak}),
                rt::prop("question", &RFTestViewController::question, &RFTestViewController::setQuestion,
                         {.memory = rt::Memory::Weak}),
                rt::prop("enterBackgound", &RFTestViewController::enterBackgound),
                rt::prop("isDone", &RFTestViewController::isDone))

RFTestViewController::RFTestViewController() = default;

rt::Ref<ns::String> RFTestViewController::extraMessage() {
    if (ct::TelephonyNetworkInfo::make()->subscriberCellularProvider()) return nullptr;
    return localized("RFTEST_CONTROLLER_WARRING");
}

rt::Id RFTestViewController::isSupport() {
    return ns::Number::withLong(ct::TelephonyNetworkInfo::make()->subscriberCellularProvider() ? 1 : 0);
}

rt::Ref<es::Signal> RFTestViewController::disappear() {
    return es::signalForSelector(this, rt::Sel("viewWillDisappear:"));
}

void RFTestViewController::setCarrier(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "carrier");
    carrier_ = label;
}

void RFTestViewController::setNewtworkType(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "newtworkType");
    newtworkType_ = label;
}

void RFTestViewController::setSignalStrength(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "signalStrength");
    signalStrength_ = label;
}

void RFTestViewController::setQuestion(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "question");
    question_ = label;
}

void RFTestViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    row_ = ns::MutableDictionary::make();
    row_->setObjectForKey(ns::String::make("RF test"), "title");
    setSubItemlist(ns::Array::make({row_}));
    rt::Weak<RFTestViewController> weak(rt::retained(this));
    choose()->subscribeNext([weak](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        if (auto item = self->info()) item->setSuccess(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
        self->gotoResultView();
    });
    present()->subscribeNext([](bool presented) {
        if (!presented) sh::ProgressHUD::dismiss();
    });
    if (auto label = carrier()) label->setText(rfCaption("RFTEST_CONTROLLER_CARRIER", ""));
    if (auto label = newtworkType()) label->setText(rfCaption("RFTEST_CONTROLLER_NETWORK_TYPE", ""));
    if (auto label = signalStrength()) {
        label->setText(ns::String::make(rfRemoving(rfCaption("RFTEST_CONTROLLER_NETWORK_STRENGTH", "")->utf8(), "dbm")));
    }
    if (auto label = question()) {
        label->setText(localized("RFTEST_CONTROLLER_ANSWER"));
        label->setHidden(true);
    }
    hidenButtons(true);
    readCarrier();
}

void RFTestViewController::readCarrier() {
    auto network = ct::TelephonyNetworkInfo::make();
    rt::Ref<ct::Carrier> provider = network->subscriberCellularProvider();
    if (auto label = signalStrength()) label->setHidden(true);
    std::string carrierText = provider ? rfText(provider->carrierName()) : std::string();
    std::string technology = rfShortTechnology(network->currentRadioAccessTechnology());
    std::string shownTechnology = technology;
    row_->setObjectForKey(ns::Number::withLong(TestBaseModel::kFailed), "result");
    isDone_ = false;
    missing_ = "no SIM carrier";
    if (!provider) return;
    if (Utility::systemVersionNumber() >= 12.0) {
        auto providers = network->serviceSubscriberCellularProviders();
        auto technologies = network->serviceCurrentRadioAccessTechnology();
        auto keys = providers ? providers->allKeys() : nullptr;
        const std::size_t count = keys ? keys->count() : 0;
        if (count == 0) ns::log("network");
        if (count >= 2) {
            // The services in the order their technologies are read: the second SIM's first when
            // both known services are there, else by id.
            auto first = ns::String::make(kFirstService), second = ns::String::make(kSecondService);
            rt::Id firstKey, lastKey;
            if (providers->objectForKey(rt::Id(first)) && providers->objectForKey(rt::Id(second))) {
                firstKey = second;
                lastKey = first;
            } else {
                std::vector<std::string> ids;
                for (std::size_t i = 0; i < count; ++i) ids.push_back(rfText(rt::cast<ns::String>(keys->objectAtIndex(i))));
                std::sort(ids.begin(), ids.end());
                firstKey = ns::String::make(ids.front());
                lastKey = ns::String::make(ids.back());
            }
            auto f = rt::cast<ct::Carrier>(providers->objectForKey(firstKey));
            auto l = rt::cast<ct::Carrier>(providers->objectForKey(lastKey));
            auto technologyOf = [&technologies](const rt::Id& key, const rt::Id& otherKey) {
                std::string own = rfShortTechnology(technologies ? technologies->objectForKey(key) : rt::Id());
                return own.empty() && technologies ? rfShortTechnology(technologies->objectForKey(otherKey)) : own;
            };
            if (rfHasCountryCode(f) && rfHasCountryCode(l)) {
                provider = f;
                technology = technologyOf(firstKey, {});
                const std::string secondTechnology = technologyOf(lastKey, {});
                carrierText = rfText(f->carrierName()) + ", " + rfText(l->carrierName());
                shownTechnology = technology + ", " + secondTechnology;
            } else if (rfHasCountryCode(f) || rfHasCountryCode(l)) {
                const bool firstHas = rfHasCountryCode(f);
                provider = firstHas ? f : l;
                technology = firstHas ? technologyOf(firstKey, lastKey) : technologyOf(lastKey, firstKey);
                carrierText = rfText(provider->carrierName());
                shownTechnology = technology;
            }
        }
    }
    const auto& networkCode = provider->mobileNetworkCode();
    const bool hasCode = networkCode && !networkCode->isEmpty();
    missing_ = !hasCode ? "the carrier has no mobile network code" : "no current radio technology";
    if (!hasCode || technology.empty()) return;
    hidenButtons(false);
    if (auto label = question()) label->setHidden(false);
    isDone_ = true;
    if (auto label = carrier()) label->setText(rfCaption("RFTEST_CONTROLLER_CARRIER", carrierText));
    if (auto label = newtworkType()) label->setText(rfCaption("RFTEST_CONTROLLER_NETWORK_TYPE", shownTechnology));
    row_->setObjectForKey(ns::Number::withLong(TestBaseModel::kPassed), "result");
}

void RFTestViewController::viewWillAppearBody(bool animated) {
    BaseModelViewController::viewWillAppearBody(animated);
    rt::Weak<RFTestViewController> weak(rt::retained(this));
    disappear()->subscribeNext([weak](const rt::Id&) {
        // The screen never starts a signal timer, so there is none to stop.
        if (auto self = weak.lock()) self->enterBackgound_ = true;
    });
    es::Signal::interval(kCheckDelay, es::Scheduler::mainThreadScheduler())
        ->take(1)
        ->takeUntil(disappear())
        ->initially([] { sh::ProgressHUD::showWithStatus(localized("PROGRESSHUD_MONITORING")); })
        ->subscribeNext([weak](const rt::Id&) {
            if (auto self = weak.lock()) self->checked();
        });
}

void RFTestViewController::checked() {
    navigationItem()->setHidesBackButton(false);
    auto item = info();
    if (enterBackgound_) {
        if (item) item->setSuccess(TestBaseModel::kNotTested);
        return;
    }
    if (isDone_) {
        sh::ProgressHUD::dismiss();
        if (item) item->setSuccess(TestBaseModel::kPassed);
        return;
    }
    sh::ProgressHUD::showErrorWithStatus(localized("PROGRESSHUD_FAIL"));
    setVerdict(TestBaseModel::kFailed, missing_);
    gotoResultView();
}

// ---- The status bar's signal ----

void RFTestViewController::getSignal() {
    if (getSignalStrength() <= 0) fetchSignalBarsForiPhoneX();
}

void RFTestViewController::showSignal(const std::string& value, bool dbm) {
    std::string caption = localized(rfStrengthKey)->utf8();
    if (!dbm && Utility::systemVersionNumber() >= 11.0) caption = rfInBars(std::move(caption));
    if (auto label = signalStrength()) label->setText(ns::stringWithFormat(caption, ns::String::make(value)));
}

long RFTestViewController::getSignalStrength() {
    ns::log("Get Signal Strength");
    try {
        const double version = Utility::systemVersionNumber();
        long value = 0;
        auto subviews = rt::cast<ns::Array>(ns::valueForKey(rfStatusBarPath("statusBar.foregroundView"), "subviews"));
        const rt::Class* itemClass = rt::Class::named("UIStatusBarSignalStrengthItemView");
        if (subviews && itemClass)
            for (const rt::Id& view : *subviews) {
                if (!view || !view->isKindOfClass(*itemClass)) continue;
                value = rfInteger(view->valueForKey(version >= 11.0 ? "signalStrengthBars" : "signalStrengthRaw"));
                break;
            }
        const std::string signal = std::to_string(value);
        if (value < 0) ns::log("dbm: %@", ns::String::make(signal));
        showSignal(signal, value < 0);
        refreshInfoWithSignal(signal);
        return value;
    } catch (const ns::Exception&) {
        return 0;
    }
}

long RFTestViewController::fetchSignalBarsForiPhoneX() {
    try {
        long bars = 0;
        auto items = rt::cast<ns::Dictionary>(rfStatusBarPath("statusBar.statusBar.items"));
        if (Utility::systemVersionNumber() < 12.0) {
            if (items) bars = rfInteger(ns::valueForKeyPath(items->valueForKey("_UIStatusBarCellularItem"), "_signalView._numberOfBars"));
        } else if (items && items->count() > 2) {
            for (const auto& [key, item] : *items) {
                const rt::Id object = key->valueForKey("object");
                const std::string identifier = object ? object->description() : std::string("(null)");
                ns::log("identifier = %@", ns::String::make(identifier));
                if (identifier != "_UIStatusBarCellularExpandedItem" ||
                    rfInteger(ns::valueForKeyPath(item, "_statusBar._currentData._cellularEntry._status")) <= 1)
                    continue;
                if (rt::Id value = ns::valueForKeyPath(item, "_statusBar._currentData._cellularEntry._displayValue"))
                    bars = rfInteger(value);
                break;
            }
        }
        std::string signal;
        if (bars < 0) {
            signal = std::to_string(bars);
            ns::log("dbm: %@", ns::String::make(signal));
            showSignal(signal, true);
        } else if (hasSimCard()) {
            signal = std::to_string(bars);
            showSignal(signal, false);
        } else {
            showSignal("0", false);
        }
        refreshInfoWithSignal(signal);
        return bars;
    } catch (const ns::Exception&) {
        return 0;
    }
}

bool RFTestViewController::hasSimCard() {
    auto info = ct::TelephonyNetworkInfo::make();
    info->subscriberCellularProvider();
    return info->currentRadioAccessTechnology() != nullptr;
}

void RFTestViewController::refreshInfoWithSignal(const std::string& signal) {
    auto info = ct::TelephonyNetworkInfo::make();
    auto provider = info->subscriberCellularProvider();
    auto technology = info->currentRadioAccessTechnology();
    const std::string type = rfShortTechnology(technology);
    const std::string name = technology && signal != "0" && provider ? rfText(provider->carrierName()) : std::string();
    if (auto label = newtworkType()) label->setText(rfCaption("RFTEST_CONTROLLER_NETWORK_TYPE", type));
    if (auto label = carrier()) label->setText(rfCaption("RFTEST_CONTROLLER_CARRIER", name));
}

} // namespace ft
