#include "app/exchanges.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "platform/foundation/clock.h"
#include "platform/foundation/url_loading.h"
#include "platform/sim/run_text.h"
#include "service/request_failure.h"
#include "tools/reference_service/service.h"

namespace app {

namespace {

// The calls by the end of their path (the features call has its company and site after it).
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kCalls = {{
    {"/profiles/clients/_find", "profile"},
    {"/api/auth/", "auth"},
    {"/getfeaturesettings/", "features"},
    {"/insert/", "insert"},
    {"/updateresult/", "update"},
    {"/api/functionaltest_finish/", "partner"},
    {"/tools/AppleModel.json", "models"},
    {"/cgi-bin/check_ip.cgi", "ip"},
}};

// The path and query of a URL.
std::string targetOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path);
}

} // namespace

std::string callOf(const std::string& url) {
    std::string path = targetOf(url);
    path = path.substr(0, path.find('?'));
    for (const auto& [ending, call] : kCalls)
        if (ending == "/getfeaturesettings/" ? path.find(ending) != std::string::npos
                                             : path.ends_with(ending))
            return std::string(call);
    return {};
}

std::chrono::system_clock::time_point systemTimeOf(double runClockSeconds) {
    const std::chrono::duration<double> since1970(runClockSeconds + ns::TimeIntervalSince1970);
    return std::chrono::system_clock::time_point(std::chrono::round<std::chrono::milliseconds>(since1970));
}

std::vector<std::string> callNames() {
    std::vector<std::string> names;
    for (const auto& [ending, call] : kCalls)
        names.emplace_back(call);
    return names;
}

// The target, the transport's failure and the body came from outside: they are marked so (masked
// as they are written), the call's name and the status are the record's own.
std::string Exchange::outcome() const {
    const std::string name = call.empty() ? method + " " + sim::printableCut(target, SIZE_MAX) : call;
    if (status) return name + " answered " + std::to_string(status);
    return name + (failure == "cancelled" ? " was cancelled" : " failed: " + sim::printableCut(failure, SIZE_MAX));
}

std::string Exchange::outcomeWithBody() const {
    if (bodyStart.empty()) return outcome();
    // As ft::quotedExcerpt shows a body: its first bytes, a control character as a space.
    constexpr std::size_t kExcerptBytes = 80;
    std::string body(bodyStart);
    std::replace_if(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return outcome() + ": \"" + sim::printableCut(body, kExcerptBytes) + "\"";
}

ExchangeRecord::ExchangeRecord(double launchTime) : launchTime_(launchTime) {
    token_ = ns::URLLoading::addExchangeObserver([this](const ns::URLExchange& ended) {
        Exchange exchange;
        exchange.at = ns::Clock::currentTime() - launchTime_;
        exchange.method = ended.method;
        exchange.target = targetOf(ended.url);
        exchange.call = callOf(ended.url);
        exchange.status = ended.status;
        if (ended.errorCode == ns::URLErrorCancelled)
            exchange.failure = "cancelled";
        else if (ended.errorCode)
            exchange.failure =
                ns::URLLoading::errorWithCode(ended.errorCode, nullptr)->localizedDescription()->utf8() +
                " (" + std::to_string(ended.errorCode) + (ended.detail.empty() ? "" : ": " + ended.detail) +
                ")";
        exchange.bodyStart = ended.bodyStart;
        exchange.wallSeconds = ended.wallSeconds;
        std::lock_guard g(lock_);
        exchange.seq = static_cast<std::int64_t>(exchanges_.size()) + 1;
        exchanges_.push_back(std::move(exchange));
        return false;
    });
}

ExchangeRecord::~ExchangeRecord() {
    ns::URLLoading::removeExchangeObserver(token_);
}

std::vector<Exchange> ExchangeRecord::exchanges() const {
    std::lock_guard g(lock_);
    return exchanges_;
}

std::optional<Exchange> ExchangeRecord::last(const std::vector<std::string>& calls) const {
    std::lock_guard g(lock_);
    auto found = std::find_if(exchanges_.rbegin(), exchanges_.rend(), [&](const Exchange& e) {
        return std::find(calls.begin(), calls.end(), e.call) != calls.end();
    });
    return found == exchanges_.rend() ? std::nullopt : std::optional<Exchange>(*found);
}

sim::MaskedText ExchangeRecord::logText() const {
    // Masked as it is written, with every secret the run knows by then: the client's texts as
    // texts from outside, each line's others as the record's own words.
    std::string text;
    for (const Exchange& e : exchanges()) {
        const refsvc::RequestRecord record{.seq = e.seq,
                                           .at = refsvc::utcText(systemTimeOf(launchTime_ + e.at)),
                                           .method = e.method,
                                           .target = sim::maskedOutsideText(e.target).text(),
                                           .call = e.call,
                                           .status = e.status,
                                           .fault = "", // the service's own, which its own requests.log gives
                                           .failure = sim::maskedOutsideText(e.failure).text()};
        text += refsvc::requestLogLine(record) + "\n";
    }
    return sim::maskedLines(text);
}

} // namespace app
