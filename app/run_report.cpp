#include "app/run_report.h"

#include <cstdio>
#include <utility>

#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/kvc.h"
#include "platform/uikit/view_controller.h"
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "tester/driver.h"

namespace app {

namespace {

std::string utf8(const rt::Ref<ns::String>& s) {
    return s ? s->utf8() : std::string();
}

std::string seconds(double s) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", s);
    return buffer;
}

std::string padded(std::string s, std::size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

} // namespace

RunReport::RunReport(double launchTime, std::function<bool(std::string_view)> isStandIn)
    : launchTime_(launchTime), isStandIn_(std::move(isStandIn)) {
    intakeObserver_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ft::kReceiveimeiNotification, nullptr, nullptr, [this](const rt::Ref<ns::Notification>&) {
            if (!intakeAt_) intakeAt_ = ns::Clock::currentTime() - launchTime_;
        });
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        // Taken at once: a screen that comes and goes within one step may be gone by the next look.
        if (driver_ && &controller == driver_->topViewController().get())
            cameOnTop(rt::retained(&controller), ns::Clock::currentTime());
    });
}

RunReport::~RunReport() {
    ns::NotificationCenter::defaultCenter()->removeObserver(intakeObserver_);
    ui::ViewController::removeDidAppearObserver(appearanceToken_);
}

void RunReport::observe(const sim::Driver& driver) {
    const double now = ns::Clock::currentTime();
    rt::Ref<ui::ViewController> top = driver.topViewController();
    if (top) {
        const std::string_view name = top->getClass().name();
        if (name == "LoginViewController") {
            loginSeen_ = true;
        } else if (loginSeen_ && !loginAt_) {
            loginAt_ = now - launchTime_;
        }
    }
    driver_ = &driver;
    if (top && top != screen_.lock()) cameOnTop(top, now);
}

void RunReport::cameOnTop(const rt::Ref<ui::ViewController>& top, double now) {
    if (top == screen_.lock()) return;
    close(now);
    // Test screens are the base test screen's kind; the results screen has an item too, but is none.
    const rt::Class* testScreen = rt::Class::named("BaseModelViewController");
    if (!testScreen || !top->isKindOfClass(*testScreen)) return;
    auto item = rt::cast<ft::TestBaseModel>(ns::valueForKey(top, "info"));
    if (!item) return;
    screen_ = rt::Id(top);
    item_ = item;
    ReportRow row;
    row.order = static_cast<int>(rows_.size()) + 1;
    row.key = utf8(item->profile());
    row.title = utf8(item->title());
    row.screen = std::string(top->getClass().name());
    row.start = now - launchTime_;
    rows_.push_back(std::move(row));
}

void RunReport::close(double now) {
    if (!item_) return;
    auto item = rt::cast<ft::TestBaseModel>(item_);
    ReportRow& row = rows_.back();
    row.duration = now - launchTime_ - row.start;
    switch (item->success()) {
    case 1:
        row.result = "pass";
        break;
    case 2:
        row.result = isStandIn_ && isStandIn_(row.screen) ? "not built" : "fail";
        break;
    default:
        row.result = "not tested";
        break;
    }
    item_ = nullptr;
    screen_ = nullptr;
}

void RunReport::finish(const sim::Driver&) {
    close(ns::Clock::currentTime());
}

std::string RunReport::text() const {
    std::string out = "Function test run\n";
    for (const auto& [key, value] : header)
        out += "  " + padded(key + ":", 10) + value + "\n";
    out += "  " + padded("intake:", 10) + (intakeAt_ ? seconds(*intakeAt_) + " s" : "none") + "\n";
    out += "  " + padded("login:", 10) + (loginAt_ ? seconds(*loginAt_) + " s" : "none") + "\n\n";

    int pass = 0, fail = 0, notTested = 0, notBuilt = 0;
    out += "  #   key                                 title                                       result     "
           " start s  duration s\n";
    for (const ReportRow& row : rows_) {
        char order[8];
        std::snprintf(order, sizeof order, "%-3d", row.order);
        out += "  " + std::string(order) + " " + padded(row.key, 35) + " " + padded(row.title, 43) + " " +
               padded(row.result.empty() ? "open" : row.result, 11) + " " + padded(seconds(row.start), 8) +
               " " + seconds(row.duration) + "\n";
        if (row.result == "pass")
            ++pass;
        else if (row.result == "fail")
            ++fail;
        else if (row.result == "not built")
            ++notBuilt;
        else
            ++notTested;
    }
    out += "  tests run: " + std::to_string(rows_.size()) + "; pass " + std::to_string(pass) + ", fail " +
           std::to_string(fail) + ", not tested " + std::to_string(notTested) + ", not built " +
           std::to_string(notBuilt) + "\n\n";
    for (const auto& [key, value] : ending)
        out += "  " + padded(key + ":", 14) + value + "\n";
    return out;
}

} // namespace app
