#include "tools/reference_service/faults.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace refsvc {

namespace {

constexpr std::array<std::pair<std::string_view, Call>, 8> kCalls{{
    {"profile", Call::Profile},
    {"auth", Call::Auth},
    {"features", Call::Features},
    {"models", Call::Models},
    {"insert", Call::Insert},
    {"update", Call::Update},
    {"partner", Call::Partner},
    {"ip", Call::Ip},
}};

std::optional<Fault> fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return std::nullopt;
}

template <typename Number> bool readWhole(std::string_view text, Number& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string formatSeconds(double seconds) {
    std::array<char, 32> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), seconds);
    return ec == std::errc() ? std::string(buffer.data(), end) : std::string("?");
}

} // namespace

std::string_view callName(Call call) {
    for (const auto& [name, value] : kCalls)
        if (value == call) return name;
    return "?";
}

std::optional<Fault> Fault::parse(std::string_view text, std::string* error) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    auto equals = text.find('=');
    if (equals == std::string_view::npos) return fail(error, "fault " + quoted + " is not <call>=<kind>[*n]");

    Fault fault;
    std::string_view callText = text.substr(0, equals);
    if (callText != "all") {
        bool known = false;
        for (const auto& [name, value] : kCalls) {
            if (name != callText) continue;
            fault.call = value;
            known = true;
        }
        if (!known)
            return fail(error, "fault " + quoted +
                                   ": the call is not one of profile, auth, features, models, insert, "
                                   "update, partner, ip, all");
    }

    std::string_view kindText = text.substr(equals + 1);
    if (auto star = kindText.find('*'); star != std::string_view::npos) {
        std::int64_t times = 0;
        if (!readWhole(kindText.substr(star + 1), times) || times < 1)
            return fail(error, "fault " + quoted + ": *n needs a whole number of at least 1");
        fault.times = times;
        kindText = kindText.substr(0, star);
    }

    if (kindText == "refuse") {
        fault.kind = Kind::Refuse;
    } else if (kindText == "500") {
        fault.kind = Kind::ServerError;
    } else if (kindText == "garbage") {
        fault.kind = Kind::Garbage;
    } else if (kindText.starts_with("slow:")) {
        fault.kind = Kind::Slow;
        double seconds = -1;
        if (!readWhole(kindText.substr(5), seconds) || !std::isfinite(seconds) || seconds < 0 ||
            seconds > 3600)
            return fail(error, "fault " + quoted + ": slow:<s> needs seconds from 0 to 3600");
        fault.delaySeconds = seconds;
    } else {
        return fail(error, "fault " + quoted + ": the kind is not one of refuse, 500, slow:<s>, garbage");
    }
    return fault;
}

std::string Fault::describe() const {
    std::string text = call ? std::string(callName(*call)) : std::string("all");
    text += '=';
    switch (kind) {
    case Kind::Refuse:
        text += "refuse";
        break;
    case Kind::ServerError:
        text += "500";
        break;
    case Kind::Garbage:
        text += "garbage";
        break;
    case Kind::Slow:
        text += "slow:" + formatSeconds(delaySeconds);
        break;
    }
    if (times) text += "*" + std::to_string(*times);
    return text;
}

FaultPlan::FaultPlan(std::vector<Fault> rules) : rules_(std::move(rules)), used_(rules_.size(), 0) {}

std::optional<Fault> FaultPlan::take(Call call) {
    std::lock_guard guard(lock_);
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const Fault& rule = rules_[i];
        if (rule.call && *rule.call != call) continue;
        if (rule.times && used_[i] >= *rule.times) continue;
        ++used_[i];
        return rule;
    }
    return std::nullopt;
}

} // namespace refsvc
