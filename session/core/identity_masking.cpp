#include "session/core/identity_masking.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "platform/foundation/string_services.h"

namespace ft {

namespace {

constexpr std::string_view kScheme = "qx://";

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The text before its fragment with every "qx://" removed, and where each of its bytes stood in
// the text.
class SchemeFreeText {
public:
    explicit SchemeFreeText(std::string_view text) {
        text = text.substr(0, text.find('#'));
        body_.reserve(text.size());
        for (std::size_t at = 0;;) {
            const std::size_t found = text.find(kScheme, at);
            body_.append(
                text.substr(at, found == std::string_view::npos ? std::string_view::npos : found - at));
            if (found == std::string_view::npos) break;
            cuts_.push_back(body_.size());
            at = found + kScheme.size();
        }
    }
    std::string_view body() const { return body_; }
    // The text's offset of the body's byte `at` (a "qx://" cut just before it is passed).
    std::size_t rawOffset(std::size_t at) const {
        const auto before = std::upper_bound(cuts_.begin(), cuts_.end(), at) - cuts_.begin();
        return at + kScheme.size() * static_cast<std::size_t>(before);
    }
    // The text's bytes of the body's bytes [begin, end): from the first to just past the last.
    std::pair<std::size_t, std::size_t> rawRange(std::size_t begin, std::size_t end) const {
        if (begin == end) return {rawOffset(begin), rawOffset(begin)};
        return {rawOffset(begin), rawOffset(end - 1) + 1};
    }

private:
    std::string body_;
    std::vector<std::size_t> cuts_; // body offsets where a "qx://" was removed
};

} // namespace

std::string maskedIdentifier(std::string_view value) {
    std::size_t characters = 0;
    for (char c : value)
        if (!isContinuationByte(c)) ++characters;
    if (characters <= 4) return std::string(characters, '*');
    // Keep the bytes of the last four characters.
    std::size_t keepFrom = value.size();
    for (std::size_t kept = 0; kept < 4;) {
        --keepFrom;
        if (!isContinuationByte(value[keepFrom])) ++kept;
    }
    return std::string(characters - 4, '*') + std::string(value.substr(keepFrom));
}

bool IdentityPair::masked() const {
    return !key || *key != kProductKey;
}

bool IdentityPair::maskedWhole() const {
    return !key || (*key != kProductKey &&
                    std::find(kIdentifierKeys.begin(), kIdentifierKeys.end(), *key) == kIdentifierKeys.end());
}

std::vector<IdentityPair> identityPairs(std::string_view text) {
    const SchemeFreeText scheme(text);
    const std::string_view body = scheme.body();
    std::vector<IdentityPair> pairs;
    if (body.empty()) return pairs;
    for (std::size_t start = 0;;) {
        std::size_t end = body.find('&', start);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view piece = body.substr(start, end - start);
        const std::size_t eq = piece.find('=');
        const std::size_t valueStart = eq == std::string_view::npos ? start : start + eq + 1;
        IdentityPair pair;
        pair.key = ns::stringByRemovingPercentEncoding(piece.substr(0, eq));
        pair.value = ns::stringByRemovingPercentEncoding(body.substr(valueStart, end - valueStart));
        std::tie(pair.begin, pair.end) = scheme.rawRange(start, end);
        std::tie(pair.valueBegin, pair.valueEnd) = scheme.rawRange(valueStart, end);
        pairs.push_back(std::move(pair));
        if (end == body.size()) break;
        start = end + 1;
    }
    return pairs;
}

std::string maskedIdentityText(std::string_view text, const std::vector<IdentityPair>& pairs,
                               std::size_t from, std::size_t to) {
    to = std::min(to, text.size());
    std::string out;
    out.reserve(to - std::min(from, to));
    std::size_t at = from;
    auto mask = [&](std::size_t begin, std::size_t end) {
        if (begin < at || end > to || begin >= end) return;
        out.append(text.substr(at, begin - at));
        out += maskedIdentifier(text.substr(begin, end - begin));
        at = end;
    };
    for (const IdentityPair& pair : pairs) {
        if (pair.maskedWhole())
            mask(pair.begin, pair.end);
        else if (pair.masked())
            mask(pair.valueBegin, pair.valueEnd);
    }
    if (const std::size_t fragment = text.find('#'); fragment < to) mask(std::max(fragment + 1, at), to);
    if (at < to) out.append(text.substr(at, to - at));
    return out;
}

std::string maskedIdentityText(std::string_view text) {
    return maskedIdentityText(text, identityPairs(text));
}

std::vector<std::string> identifierValues(std::string_view text) {
    std::vector<std::string> values;
    auto add = [&](std::string_view value) {
        if (!value.empty() && std::find(values.begin(), values.end(), value) == values.end())
            values.emplace_back(value);
    };
    for (const IdentityPair& pair : identityPairs(text)) {
        if (!pair.key ||
            std::find(kIdentifierKeys.begin(), kIdentifierKeys.end(), *pair.key) == kIdentifierKeys.end())
            continue;
        add(pair.value ? *pair.value : text.substr(pair.valueBegin, pair.valueEnd - pair.valueBegin));
    }
    return values;
}

} // namespace ft
