#include "platform/uikit/status_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/string.h"
#include "platform/graphics/context.h"
#include "platform/graphics/recording_context.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "platform/sim/network_state.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/status_bar_clock.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"

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

namespace ui {

double statusBarBand(const sim::Profile& device) {
    return std::max(kStatusBarHeight, deviceSafeAreaInsets(device).top);
}

} // namespace ui

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

rt::Id statusBarOld(const sim::StatusBar& bar, int bars) {
    auto foreground = rt::make<StatusBarItemView>();
    foreground->addSubview(rt::make<StatusBarItemView>());
    auto signal = rt::make<StatusBarSignalStrengthItemView>();
    signal->keys = {{"signalStrengthRaw", ns::Number::withInt(bar.signalRaw)},
                    {"signalStrengthBars", ns::Number::withInt(bars)}};
    foreground->addSubview(signal);
    return statusBarNode({{"foregroundView", foreground}});
}

rt::Id statusBarNew(const sim::StatusBar& bar, int bars, bool inService, bool identifiedItems) {
    auto items = ns::MutableDictionary::make();
    if (identifiedItems) {
        auto entry = statusBarNode({{"_status", ns::Number::withInt(inService ? bar.cellularStatus : 0)},
                                    {"_displayValue", ns::Number::withInt(bars)}});
        auto data = statusBarNode({{"_cellularEntry", entry}});
        auto shared = statusBarNode({{"_currentData", data}});
        for (const std::string& name : bar.items)
            items->setObjectForKey(statusBarNode({{"_statusBar", shared}}), statusBarNode({{"object", ns::String::make(name)}}));
    } else {
        auto signalView = statusBarNode({{"_numberOfBars", ns::Number::withInt(bars)}});
        items->setObjectForKey(statusBarNode({{"_signalView", signalView}}), ns::String::make("_UIStatusBarCellularItem"));
    }
    auto inner = statusBarNode({{"items", items}});
    return statusBarNode({{"statusBar", inner}});
}

} // namespace

rt::Id makeStatusBar(const sim::Profile& device) {
    const sim::StatusBar& bar = device.statusBar;
    // The bars the screen's bar draws: none without service.
    const int bars = sim::signalBars(device);
    const bool inService = sim::cellularService(device) == sim::CellularService::InService;
    switch (bar.layout) {
    case sim::StatusBarLayout::None: return {};
    case sim::StatusBarLayout::Old: return statusBarOld(bar, bars);
    case sim::StatusBarLayout::New:
        return statusBarNew(bar, bars, inService, std::atof(device.systemVersion.c_str()) >= 12.0);
    case sim::StatusBarLayout::Broken: {
        auto node = statusBarNode({});
        node->raises = true;
        return node;
    }
    }
    return {};
}

namespace {

// What the bar draws with: its ink (white or black), and the sizes of one band's layout.
struct StatusBarInk {
    cg::Context& context;
    double white;  // 1 or 0
    double scale;  // of the glyphs: 1 in a 20-point band
    double middle; // the y the items are centred on

    rt::Ref<cg::Color> colour(double alpha = 1) const { return cg::Color::gray(white, alpha); }
};

// A text of the bar, drawn as a label draws it (so the picture's texts list it).
rt::Ref<Label> statusBarLabel(const StatusBarInk& ink, const std::string& text, rt::Ref<Font> font,
                              TextAlignment alignment) {
    auto label = rt::make<Label>(cg::Rect{});
    label->setText(ns::String::make(text));
    label->setFont(std::move(font));
    label->setTextColor(Color::colorWithWhite(ink.white, 1));
    label->setTextAlignment(alignment);
    return label;
}

void statusBarText(const StatusBarInk& ink, Label& label, const cg::Rect& box) {
    CurrentGraphicsContext current(ink.context);
    ink.context.saveGState();
    label.drawTextInRect(box);
    ink.context.restoreGState();
}

// Four bars rising to the right, from `x`: the device's signal solid, the rest faint.
constexpr double kSignalWidth = 16.5;
void statusBarSignal(const StatusBarInk& ink, double x, int bars) {
    const double width = 3 * ink.scale, step = 4.5 * ink.scale, bottom = ink.middle + 5 * ink.scale;
    for (int i = 0; i < 4; ++i) {
        const double height = (4 + 2 * i) * ink.scale;
        ink.context.setFillColor(ink.colour(i < bars ? 1 : 0.3));
        ink.context.fillRect(cg::Rect::make(x + i * step, bottom - height, width, height));
    }
}

// The Wi-Fi fan from `x`: three arcs opening upwards over their centre.
constexpr double kWifiWidth = 15;
void statusBarWifi(const StatusBarInk& ink, double x) {
    const double radius = kWifiWidth * ink.scale / std::numbers::sqrt2,
                 centreX = x + kWifiWidth * ink.scale / 2, centreY = ink.middle + 5.5 * ink.scale;
    ink.context.setStrokeColor(ink.colour());
    ink.context.setLineWidth(1.8 * ink.scale);
    for (const double r : {radius / 3, 2 * radius / 3, radius}) {
        ink.context.beginPath();
        ink.context.addArc(centreX, centreY, r - 0.9 * ink.scale, -0.75 * std::numbers::pi,
                           -0.25 * std::numbers::pi, 0);
        ink.context.strokePath();
    }
}

// A bolt `height` tall whose box starts at `x`, centred on the items.
void statusBarBolt(const StatusBarInk& ink, double x, double height, const rt::Ref<cg::Color>& colour) {
    const double w = height * 0.6, top = ink.middle - height / 2;
    ink.context.setFillColor(colour);
    ink.context.beginPath();
    ink.context.moveToPoint(x + w * 0.65, top);
    ink.context.addLineToPoint(x, top + height * 0.58);
    ink.context.addLineToPoint(x + w * 0.45, top + height * 0.58);
    ink.context.addLineToPoint(x + w * 0.35, top + height);
    ink.context.addLineToPoint(x + w, top + height * 0.42);
    ink.context.addLineToPoint(x + w * 0.55, top + height * 0.42);
    ink.context.closePath();
    ink.context.fillPath();
}

bool statusBarOnPower(const sim::Battery& battery) {
    return battery.state == sim::BatteryState::Charging || battery.state == sim::BatteryState::Full;
}

// The battery whose cap ends at `right`: its outline, filled to the level (green on power, red
// when low; empty while its state is unknown), with the bolt inside on power when `boltInside`.
// Answers its left edge.
double statusBarBattery(const StatusBarInk& ink, double right, const sim::Battery& battery, bool boltInside) {
    const double width = 24 * ink.scale, height = 11 * ink.scale, cap = 1.5 * ink.scale;
    const cg::Rect body = cg::Rect::make(right - cap - 1 - width, ink.middle - height / 2, width, height);
    ink.context.setStrokeColor(ink.colour(0.5));
    ink.context.setLineWidth(1);
    ink.context.strokeRect(body.insetBy(0.5, 0.5));
    ink.context.setFillColor(ink.colour(0.5));
    ink.context.fillRect(cg::Rect::make(right - cap, ink.middle - 2 * ink.scale, cap, 4 * ink.scale));
    const double level =
        battery.state == sim::BatteryState::Unknown ? 0 : std::clamp(battery.level, 0.0, 1.0);
    const bool powered = statusBarOnPower(battery);
    ink.context.setFillColor(powered        ? cg::Color::make(0.3, 0.85, 0.39)
                             : level <= 0.2 ? cg::Color::make(1, 0.23, 0.19)
                                            : ink.colour());
    const cg::Rect inside = body.insetBy(2, 2);
    ink.context.fillRect(
        cg::Rect::make(inside.minX(), inside.minY(), inside.width() * level, inside.height()));
    if (powered && boltInside) statusBarBolt(ink, body.midX() - height * 0.27, height * 0.9, ink.colour());
    return body.minX();
}

// What the bar shows of the device's radios.
struct StatusBarRadio {
    int bars = -1;          // the signal's solid bars, 0 to 4; -1: no signal shown
    std::string network;    // the carrier's name; "No Service" or "No SIM"; the model without a radio
    std::string technology; // what data goes over ("LTE") when it goes over the cellular network
    bool wifi = false;      // the fan: joined on the Wi-Fi interface
    bool radio = true;      // the device has a cellular radio
};

// The short name the bar gives a radio technology; empty for one it has none for.
std::string_view statusBarTechnology(std::string_view technology) {
    static constexpr std::pair<std::string_view, std::string_view> kShown[] = {
        {"CTRadioAccessTechnologyGPRS", "GPRS"},       {"CTRadioAccessTechnologyEdge", "E"},
        {"CTRadioAccessTechnologyWCDMA", "3G"},        {"CTRadioAccessTechnologyHSDPA", "3G"},
        {"CTRadioAccessTechnologyHSUPA", "3G"},        {"CTRadioAccessTechnologyCDMA1x", "1x"},
        {"CTRadioAccessTechnologyCDMAEVDORev0", "3G"}, {"CTRadioAccessTechnologyCDMAEVDORevA", "3G"},
        {"CTRadioAccessTechnologyCDMAEVDORevB", "3G"}, {"CTRadioAccessTechnologyeHRPD", "3G"},
        {"CTRadioAccessTechnologyLTE", "LTE"},         {"CTRadioAccessTechnologyNRNSA", "5G"},
        {"CTRadioAccessTechnologyNR", "5G"},
    };
    for (const auto& [name, shown] : kShown)
        if (name == technology) return shown;
    return {};
}

// The device's cellular service as the bar shows it (sim::cellularService): the carrier and its
// bars in service, else why not; data goes over the cellular network while the device has service
// and has not joined a Wi-Fi network.
StatusBarRadio statusBarRadio(const sim::Profile& device) {
    StatusBarRadio radio;
    radio.wifi = device.onWifi();
    switch (sim::cellularService(device)) {
    case sim::CellularService::NoRadio:
        radio.radio = false;
        radio.network = device.model == sim::Model::iPodTouch ? "iPod" : sim::modelText(device.model);
        break;
    case sim::CellularService::NoSim: radio.network = "No SIM"; break;
    case sim::CellularService::NoService: radio.network = "No Service"; break;
    case sim::CellularService::InService:
        radio.bars = sim::signalBars(device);
        radio.network = device.carrier->name;
        if (!radio.wifi) radio.technology = statusBarTechnology(device.carrier->radioTech);
        break;
    }
    return radio;
}

// The location arrow from `x`, pointing up and to the right.
constexpr double kArrowWidth = 9;
void statusBarArrow(const StatusBarInk& ink, double x) {
    const double side = kArrowWidth * ink.scale, top = ink.middle - side / 2;
    ink.context.setFillColor(ink.colour());
    ink.context.beginPath();
    ink.context.moveToPoint(x + side, top);
    ink.context.addLineToPoint(x, top + side * 0.45);
    ink.context.addLineToPoint(x + side * 0.5, top + side * 0.5);
    ink.context.addLineToPoint(x + side * 0.55, top + side);
    ink.context.closePath();
    ink.context.fillPath();
}

// A text of the bar whose right edge is `right`, in a box `height` tall centred on the items.
// Answers its left edge.
double statusBarTextEndingAt(const StatusBarInk& ink, const std::string& text, rt::Ref<Font> font,
                             double right, double height) {
    auto label = statusBarLabel(ink, text, std::move(font), TextAlignment::Right);
    const double width = std::ceil(label->intrinsicContentSize().width);
    statusBarText(ink, *label, cg::Rect::make(right - width, ink.middle - height / 2, width, height));
    return right - width;
}

// What the right of the newer bars (beside the notch, an iPad's from system 12) shows, from `right`
// leftwards: the battery (its bolt inside) with its level before it where `level` is asked for,
// the location arrow, the Wi-Fi fan or the technology data goes over, then the signal or, on a
// phone or a device with a SIM, why there is none ("No Service", "No SIM").
void statusBarRightItems(const StatusBarInk& ink, const sim::Profile& device, const StatusBarRadio& radio,
                         bool locationInUse, double right, bool level, double fontSize) {
    double x = statusBarBattery(ink, right, device.battery, true) - 5;
    const double height = ink.middle * 2;
    if (level && device.battery.state != sim::BatteryState::Unknown) {
        const long percent = std::lround(std::clamp(device.battery.level, 0.0, 1.0) * 100);
        x = statusBarTextEndingAt(ink, std::to_string(percent) + "%", Font::systemFontOfSize(fontSize), x,
                                  height) -
            5;
    }
    if (locationInUse) {
        x -= kArrowWidth * ink.scale;
        statusBarArrow(ink, x);
        x -= 5;
    }
    if (radio.wifi) {
        x -= kWifiWidth * ink.scale;
        statusBarWifi(ink, x);
        x -= 5;
    } else if (!radio.technology.empty()) {
        x = statusBarTextEndingAt(ink, radio.technology, Font::boldSystemFontOfSize(fontSize), x, height) - 5;
    }
    if (radio.bars >= 0)
        statusBarSignal(ink, x - kSignalWidth * ink.scale, radio.bars);
    else if (radio.radio)
        statusBarTextEndingAt(ink, radio.network, Font::systemFontOfSize(fontSize), x, height);
}

// Draws the bar into `context`, its labels' texts told to the text observers.
void drawStatusBar(cg::Context& context, const sim::Profile& device, bool locationInUse, double width,
                   bool lightContent, double now) {
    const double band = statusBarBand(device);
    const StatusBarRadio radio = statusBarRadio(device);
    const double white = lightContent ? 1.0 : 0.0;
    context.saveGState();
    if (band > kStatusBarHeight) {
        // Either side of the notch, the items centred a little below the band's middle: the time
        // (the location arrow after it) at the left, the rest at the right.
        const StatusBarInk ink{context, white, 1.1, band / 2 + 1};
        auto time = statusBarLabel(ink, statusBarTime(device.locale.identifier, now, false), Font::boldSystemFontOfSize(15),
                                   TextAlignment::Center);
        const double timeBox = std::round(width * 0.27);
        statusBarText(ink, *time, cg::Rect::make(0, ink.middle - 10, timeBox, 20));
        if (locationInUse) statusBarArrow(ink, (timeBox + time->intrinsicContentSize().width) / 2 + 3);
        statusBarRightItems(ink, device, radio, false, width - 16, false, 14);
    } else if (device.model == sim::Model::iPad && device.systemVersionNumber() >= 12) {
        // The time and the day at the left; the rest, the battery's level with it, at the right.
        const StatusBarInk ink{context, white, 1, band / 2};
        auto time = statusBarLabel(ink, statusBarTime(device.locale.identifier, now, true), Font::boldSystemFontOfSize(12),
                                   TextAlignment::Left);
        const double timeWidth = std::ceil(time->intrinsicContentSize().width);
        statusBarText(ink, *time, cg::Rect::make(6, 0, timeWidth, band));
        auto day = statusBarLabel(ink, statusBarDay(device.locale.identifier, now), Font::systemFontOfSize(12), TextAlignment::Left);
        statusBarText(
            ink, *day,
            cg::Rect::make(6 + timeWidth + 5, 0, std::ceil(day->intrinsicContentSize().width), band));
        statusBarRightItems(ink, device, radio, locationInUse, width - 6, true, 12);
    } else {
        // The signal, the network's name and the fan or the technology at the left; the time in
        // the middle; the location arrow, the battery's level, the battery and the bolt at the right.
        const StatusBarInk ink{context, white, 1, band / 2};
        auto time = statusBarLabel(ink, statusBarTime(device.locale.identifier, now, true), Font::boldSystemFontOfSize(12),
                                   TextAlignment::Center);
        const double timeLeft = (width - time->intrinsicContentSize().width) / 2;
        statusBarText(ink, *time, cg::Rect::make(timeLeft, 0, width - 2 * timeLeft, band));
        double x = 5;
        if (radio.bars >= 0) {
            statusBarSignal(ink, x, radio.bars);
            x += kSignalWidth + 4;
        }
        auto technology =
            statusBarLabel(ink, radio.technology, Font::systemFontOfSize(12), TextAlignment::Left);
        const double after = radio.wifi ? kWifiWidth + 4
                             : radio.technology.empty()
                                 ? 0
                                 : std::ceil(technology->intrinsicContentSize().width) + 4;
        // The name gives way to the time, cut when it would reach it.
        auto name = statusBarLabel(ink, radio.network, Font::systemFontOfSize(12), TextAlignment::Left);
        const double nameWidth =
            std::max(0.0, std::min(name->intrinsicContentSize().width, timeLeft - 6 - x - after));
        statusBarText(ink, *name, cg::Rect::make(x, 0, nameWidth, band));
        if (radio.wifi)
            statusBarWifi(ink, x + nameWidth + 4);
        else if (!radio.technology.empty())
            statusBarText(ink, *technology, cg::Rect::make(x + nameWidth + 4, 0, after - 4, band));
        double right = width - 6;
        if (statusBarOnPower(device.battery)) {
            statusBarBolt(ink, right - 6, 10, ink.colour());
            right -= 6 + 3;
        }
        right = statusBarBattery(ink, right, device.battery, false) - 4;
        if (device.battery.state != sim::BatteryState::Unknown) {
            const long percent = std::lround(std::clamp(device.battery.level, 0.0, 1.0) * 100);
            right = statusBarTextEndingAt(ink, std::to_string(percent) + "%", Font::systemFontOfSize(12),
                                          right, band) -
                    4;
        }
        if (locationInUse) statusBarArrow(ink, right - kArrowWidth);
    }
    context.restoreGState();
}

} // namespace

struct StatusBarPicture::Text {
    rt::Ref<View> label;
    rt::Ref<ns::String> text;
    bool whole;
};

StatusBarPicture::StatusBarPicture(cg::Context& context, const sim::Profile& device, bool locationInUse,
                                   double width, bool lightContent, double now) {
    const auto token = addTextDrawnObserver([this](const View& view, const ns::String& text, bool whole) {
        texts_.push_back({rt::retained(const_cast<View*>(&view)), rt::retained(&text), whole});
    });
    cg::RecordingContext recording;
    drawStatusBar(recording, device, locationInUse, width, lightContent, now);
    removeTextDrawnObserver(token);
    drawing_ = std::make_unique<cg::DisplayList>(recording.takeDisplayList());
    drawing_->replay(context);
}

StatusBarPicture::StatusBarPicture(StatusBarPicture&&) noexcept = default;
StatusBarPicture::~StatusBarPicture() = default;

void StatusBarPicture::drawAgain(cg::Context& context) const {
    drawing_->replay(context);
    for (const Text& text : texts_) tellTextDrawn(*text.label, *text.text, text.whole);
}

} // namespace ui::detail
