#include "session/core/identity_masking.h"

#include <algorithm>
#include <cctype>
#include <cstring>
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

// One byte of a text read with its percent-encoding undone, and the bytes of the text it came from.
struct DecodedByte {
    char c;
    std::size_t begin, end;
};

int hexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c))
               ? (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 32) - 'a' + 10)
               : -1;
}

// Every escape undone, and each that undoing makes ("%2541" -> "%41" -> "A"), in one pass: an
// escape the last byte completes is undone at once, and so on while the byte it gives completes
// another.
std::vector<DecodedByte> fullyDecoded(std::string_view text) {
    std::vector<DecodedByte> out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        out.push_back({text[at], at, at + 1});
        for (std::size_t n = out.size(); n >= 3 && out[n - 3].c == '%'; n = out.size()) {
            const int high = hexDigit(out[n - 2].c), low = hexDigit(out[n - 1].c);
            if (high < 0 || low < 0) break;
            const DecodedByte decoded{static_cast<char>(high * 16 + low), out[n - 3].begin, out[n - 1].end};
            out.resize(n - 3);
            out.push_back(decoded);
        }
    }
    return out;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Where an identity pair's value ends: a separator of pairs or of the text around them.
bool endsValue(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == 0x7F || std::strchr("&?#;\"',<>()[]{}\\|", c);
}

// Where a quoted value ends: its quote, or the backslash of an escaped one.
bool endsQuotedValue(char c) {
    return static_cast<unsigned char>(c) < ' ' || c == 0x7F || c == '"' || c == '\'' || c == '\\';
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool isKeyCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

char lowerCase(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The longest spelling of an identity key looked for inside a longer name, "_" and "-" included.
constexpr std::size_t kLongestKeySpelling = 48; // bytes

// Whether the name that ends at `end` of `text` is an identity key, or ends with one from a "_", a
// "-" or a capital after a small letter: "IMEI", "serial_number", "deviceSerialNumber".
bool namesIdentity(std::string_view text, std::size_t end) {
    std::size_t begin = end;
    while (begin > 0 && isKeyCharacter(text[begin - 1]))
        --begin;
    for (std::size_t from = end - std::min(end - begin, kLongestKeySpelling); from < end; ++from) {
        const char before = from == begin ? '_' : text[from - 1];
        if (before != '_' && before != '-' &&
            !(std::isupper(static_cast<unsigned char>(text[from])) &&
              std::islower(static_cast<unsigned char>(before))))
            continue;
        std::string name;
        for (char c : text.substr(from, end - from))
            if (c != '_' && c != '-') name += lowerCase(c);
        if (std::find(kIdentityPairKeys.begin(), kIdentityPairKeys.end(), name) != kIdentityPairKeys.end())
            return true;
    }
    return false;
}

// The IMEI check: the last digit makes the Luhn sum of all of them a multiple of ten.
bool passesLuhn(std::string_view digits) {
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        int digit = digits[digits.size() - 1 - i] - '0';
        if (i % 2 == 1 && (digit *= 2) > 9) digit -= 9;
        sum += digit;
    }
    return sum % 10 == 0;
}

constexpr std::size_t kShortestIMEIRun = 14, kLongestIMEIRun = 16; // digits

// Whether `text` holds `word` (in lower case) in any case.
bool holdsInAnyCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [](char c, char w) { return lowerCase(c) == w; }) != text.end();
}

// Whether the text may carry an identifier at all: an escape, a sign and what every identity key
// holds, or a long enough run of digits.
bool mayCarryIdentifier(std::string_view text) {
    if (text.find('%') != std::string_view::npos) return true;
    if (text.find_first_of("=:") != std::string_view::npos)
        for (std::string_view root : {"imei", "meid", "serial", "udid", "unique"})
            if (holdsInAnyCase(text, root)) return true;
    std::size_t run = 0;
    for (char c : text)
        if ((run = isDigit(c) ? run + 1 : 0) >= kShortestIMEIRun) return true;
    return false;
}

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

std::string maskedIdentifiersAnywhere(std::string_view text) {
    if (!mayCarryIdentifier(text)) return std::string(text);
    const std::vector<DecodedByte> decoded = fullyDecoded(text);
    std::string plain; // the text decoded
    for (const DecodedByte& byte : decoded)
        plain += byte.c;
    struct Masked {
        std::size_t begin, end; // in `text`
        std::string shown;
    };
    std::vector<Masked> masked; // the pairs' values first, then the runs of digits
    auto mask = [&](std::size_t from, std::size_t to) {
        masked.push_back(
            {decoded[from].begin, decoded[to - 1].end, maskedIdentifier(plain.substr(from, to - from))});
    };
    // Where a key's name ends that ends at `at` or is closed there by a quote (escaped or not).
    auto nameEnd = [&](std::size_t at) {
        if (at == 0 || !isQuote(plain[at - 1])) return at;
        return at >= 2 && plain[at - 2] == '\\' ? at - 2 : at - 1;
    };
    for (std::size_t sign = plain.find_first_of("=:"); sign != std::string::npos;
         sign = plain.find_first_of("=:", sign + 1)) {
        std::size_t keyEnd = sign, value = sign + 1;
        while (keyEnd > 0 && plain[keyEnd - 1] == ' ')
            --keyEnd;
        while (value < plain.size() && plain[value] == ' ')
            ++value;
        const bool quoted = value < plain.size() &&
                            (isQuote(plain[value]) ||
                             (plain[value] == '\\' && value + 1 < plain.size() && isQuote(plain[value + 1])));
        if (quoted) value += plain[value] == '\\' ? 2 : 1;
        const std::size_t end =
            std::find_if(plain.begin() + value, plain.end(), quoted ? endsQuotedValue : endsValue) -
            plain.begin();
        if (end > value && namesIdentity(plain, nameEnd(keyEnd))) mask(value, end);
    }
    for (std::size_t at = 0, end = 0; at < plain.size(); at = std::max(at + 1, end)) {
        end = std::find_if_not(plain.begin() + at, plain.end(), isDigit) - plain.begin();
        if (end - at >= kShortestIMEIRun && end - at <= kLongestIMEIRun &&
            passesLuhn(plain.substr(at, end - at)))
            mask(at, end);
    }
    // In the text's order; one within an earlier one (a run of digits that is a pair's value) is left out.
    std::stable_sort(masked.begin(), masked.end(),
                     [](const Masked& a, const Masked& b) { return a.begin < b.begin; });
    std::string out;
    std::size_t at = 0;
    for (const Masked& m : masked)
        if (m.begin >= at) {
            out.append(text.substr(at, m.begin - at)).append(m.shown);
            at = m.end;
        }
    return out.append(text.substr(at));
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
        if (pair.value) add(*pair.value);
        add(text.substr(pair.valueBegin, pair.valueEnd - pair.valueBegin));
    }
    return values;
}

} // namespace ft
