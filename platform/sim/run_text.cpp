#include "platform/sim/run_text.h"

#include <algorithm>
#include <charconv>
#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <utility>

#include <unicode/uchar.h>

#include "platform/runtime/installed.h"
#include "platform/runtime/utf8.h"
#include "platform/sim/text_skeleton.h"

namespace sim {

namespace {

// The masking the main job installs for the URLs handed over, read from any thread; immortal, read
// until the end.
rt::Installed<TextMasking>& handedOverURLMasking() {
    static auto* shared = new rt::Installed<TextMasking>;
    return *shared;
}

// One of the run's values, and how it is found in a text.
struct RunSecret {
    Secret value;
    std::string shownAs;
    bool inside;            // masked inside a text, not only where it stands as a word of its own
    bool provisional;       // a text a script types, until it shows in a field that is not secure
    std::u32string letters; // an identifier's skeleton; empty for a value found as it is written
    std::u32string folded;  // a value found as it is written: its folded text
    std::u32string core;    // an IMEI's or IMEISV's first 14 digits; else empty

    RunSecret(const Secret& secret, std::string shown, SecretSpelling spelling, bool typed)
        : value(secret), shownAs(std::move(shown)), provisional(typed) {
        if (spelling == SecretSpelling::Exact) {
            folded = foldedTextOf(secret.reveal());
            inside = folded.size() >= kShortestSecretInside;
            return;
        }
        letters = skeletonOf(secret.reveal());
        inside = letters.size() >= kShortestSecretInside;
        constexpr std::size_t kIMEICore = 14;
        if ((letters.size() == 15 || letters.size() == 16) &&
            std::all_of(letters.begin(), letters.end(), [](char32_t c) { return c >= U'0' && c <= U'9'; }))
            core = letters.substr(0, kIMEICore);
    }
    bool isIdentifier() const { return !letters.empty(); }
    // A value found as it is written, of more than one character, where it stands as a word.
    bool asWord() const { return !isIdentifier() && !inside && folded.size() > 1; }
};

// The run's values, longest first; replaced whole as one is added, so a reader masks with the list
// it took without holding the lock.
struct RunSecretStore {
    std::mutex lock;
    bool kept = false; // a RunSecrets lives
    std::shared_ptr<const std::vector<RunSecret>> secrets;
};

RunSecretStore& runSecretStore() {
    static RunSecretStore* shared = new RunSecretStore; // immortal: read until the end
    return *shared;
}

std::shared_ptr<const std::vector<RunSecret>> currentRunSecrets() {
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    return store.secrets;
}

// ---- The text as the masker reads it ----------------------------------------------------------

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if ((c | 32) >= 'a' && (c | 32) <= 'f') return (c | 32) - 'a' + 10;
    return -1;
}

// A text as it is written, or with every escape undone however deep ("%2541" -> "%41" -> "A",
// "&#38;#51;" -> "&#51;" -> "3"), and that plain text folded (text_skeleton.h): each byte of the
// plain text keeps the bytes of the text it came from, each character of the folded text and each
// letter of the skeleton the bytes of the plain text.
class MaskerReading {
public:
    MaskerReading(std::string_view text, bool decoded) : text_(text) {
        if (decoded) decode();
        folded_ = foldedCharacters(plain());
        letters_ = skeletonLetters(plain());
        for (const SkeletonLetter& c : folded_)
            foldedText_ += c.letter;
        for (const SkeletonLetter& letter : letters_)
            skeleton_ += letter.letter;
    }

    std::u32string_view skeleton() const { return skeleton_; }
    std::size_t size() const { return letters_.size(); }
    const SkeletonLetter& operator[](std::size_t i) const { return letters_[i]; }
    // The folded text, every character kept (text_skeleton.h).
    std::u32string_view foldedText() const { return foldedText_; }

    // The plain text between letter i - 1 (or the text's start) and letter i (or the text's end),
    // empty between letters folded from one character.
    std::string_view gapBefore(std::size_t i) const {
        const std::size_t from = i == 0 ? 0 : letters_[i - 1].end;
        const std::size_t to = i < letters_.size() ? letters_[i].begin : plain().size();
        return to > from ? plain().substr(from, to - from) : std::string_view();
    }
    // The bytes of the text that letters [first, last] came from; foldedSource: characters of the
    // folded text.
    std::pair<std::size_t, std::size_t> source(std::size_t first, std::size_t last) const {
        return sourceOf(letters_[first], letters_[last]);
    }
    std::pair<std::size_t, std::size_t> foldedSource(std::size_t first, std::size_t last) const {
        return sourceOf(folded_[first], folded_[last]);
    }
    // Whether characters [first, last] of the folded text stand as a word of their own: neither
    // side a letter or digit, nor a ".", ",", ":", "-" or "'" joining them to one; or a word of
    // camel case, where a capital follows what is not one ("pw1ViewController").
    bool standsAlone(std::size_t first, std::size_t last) const {
        auto joined = [&](std::size_t side, std::size_t beyond, bool hasBeyond, bool camelBreak) {
            const SkeletonLetter& c = folded_[side];
            if (c.letterOrDigit) return !camelBreak;
            const bool joiner = std::u32string_view(U".,:-'").find(c.letter) != std::u32string_view::npos;
            return joiner && hasBeyond && folded_[beyond].letterOrDigit;
        };
        const auto camelBreak = [&](std::size_t before, std::size_t after) {
            return folded_[after].capital && !folded_[before].capital;
        };
        if (first > 0 &&
            joined(first - 1, first >= 2 ? first - 2 : 0, first >= 2, camelBreak(first - 1, first)))
            return false;
        return last + 1 >= folded_.size() ||
               !joined(last + 1, last + 2, last + 2 < folded_.size(), camelBreak(last, last + 1));
    }
    // An identifier the letters [first, last] spell, as the masker writes it: "*" for each character
    // but the last four, those as they are written (without what stands between them); four or
    // fewer masked whole.
    std::string shownAsIdentifier(std::size_t first, std::size_t last) const {
        std::vector<std::pair<std::size_t, std::size_t>> characters; // a character folded into several once
        for (std::size_t k = first; k <= last; ++k)
            if (characters.empty() || characters.back().first != letters_[k].begin)
                characters.emplace_back(letters_[k].begin, letters_[k].end);
        if (characters.size() <= 4) return std::string(characters.size(), '*');
        std::string shown(characters.size() - 4, '*');
        for (std::size_t k = characters.size() - 4; k < characters.size(); ++k)
            shown.append(plain().substr(characters[k].first, characters[k].second - characters[k].first));
        return shown;
    }

private:
    std::pair<std::size_t, std::size_t> sourceOf(const SkeletonLetter& first,
                                                 const SkeletonLetter& last) const {
        if (sourceOf_.empty())
            return {first.begin, last.end}; // nothing was decoded: the plain text is the text
        return {sourceOf_[first.begin].first, sourceOf_[last.end - 1].second};
    }

    // Every escape undone, and each that undoing makes, in one pass: an escape the last byte
    // completes is undone at once, and so on while what it gives completes another.
    void decode() {
        decoded_.reserve(text_.size());
        sourceOf_.reserve(text_.size());
        for (std::size_t at = 0; at < text_.size(); ++at) {
            decoded_ += text_[at];
            sourceOf_.emplace_back(at, at + 1);
            while (undoEscapeAtEnd()) {
            }
        }
    }

    // Undoes the escape the decoded text ends with: "%HH", "\uHHHH" (a pair of them for a
    // character past U+FFFF), "&#DDD;" or "&#xHHH;". False when it ends with none.
    bool undoEscapeAtEnd() {
        const std::size_t n = decoded_.size();
        const auto hexAt = [&](std::size_t from, std::size_t count) -> std::optional<char32_t> {
            char32_t value = 0;
            for (std::size_t k = from; k < from + count; ++k) {
                const int digit = hexDigitValue(decoded_[k]);
                if (digit < 0) return std::nullopt;
                value = value * 16 + static_cast<char32_t>(digit);
            }
            return value;
        };
        if (n >= 3 && decoded_[n - 3] == '%') {
            if (const auto byte = hexAt(n - 2, 2))
                return replaceEnd(n - 3, std::string(1, static_cast<char>(*byte)));
        }
        const auto escapedUnit = [&](std::size_t from) -> std::optional<char32_t> {
            if (decoded_[from] != '\\' || (decoded_[from + 1] | 32) != 'u') return std::nullopt;
            return hexAt(from + 2, 4);
        };
        if (n >= 6) {
            if (const auto unit = escapedUnit(n - 6)) {
                if (*unit >= 0xDC00 && *unit <= 0xDFFF && n >= 12)
                    if (const auto high = escapedUnit(n - 12); high && *high >= 0xD800 && *high <= 0xDBFF)
                        return replaceEnd(n - 12, 0x10000 + ((*high - 0xD800) << 10) + (*unit - 0xDC00));
                if (*unit < 0xD800 || *unit > 0xDFFF) return replaceEnd(n - 6, *unit);
            }
        }
        if (n >= 4 && decoded_[n - 1] == ';') {
            constexpr std::size_t kLongestEntity = 12; // "&#x10FFFF;" and leading zeros
            const std::size_t amp = decoded_.rfind("&#", n - 1);
            if (amp == std::string::npos || n - amp > kLongestEntity) return false;
            const bool hex = (decoded_[amp + 2] | 32) == 'x';
            const std::size_t from = amp + (hex ? 3 : 2);
            if (from >= n - 1) return false;
            char32_t value = 0;
            for (std::size_t k = from; k < n - 1; ++k) {
                const int digit = hex ? hexDigitValue(decoded_[k])
                                      : (decoded_[k] >= '0' && decoded_[k] <= '9' ? decoded_[k] - '0' : -1);
                if (digit < 0) return false;
                value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
            }
            if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
            return replaceEnd(amp, value);
        }
        return false;
    }

    // The decoded text from `from` on is `bytes`, each of them from all that stood there.
    bool replaceEnd(std::size_t from, std::string_view bytes) {
        const std::pair<std::size_t, std::size_t> source{sourceOf_[from].first, sourceOf_.back().second};
        decoded_.resize(from);
        sourceOf_.resize(from);
        decoded_.append(bytes);
        sourceOf_.insert(sourceOf_.end(), bytes.size(), source);
        return true;
    }
    bool replaceEnd(std::size_t from, char32_t character) {
        std::string bytes;
        rt::appendUTF8(bytes, character);
        return replaceEnd(from, bytes);
    }

    // The plain text: the text itself unless it was decoded.
    std::string_view plain() const { return sourceOf_.empty() ? text_ : std::string_view(decoded_); }

    std::string_view text_;
    std::string decoded_;
    std::vector<std::pair<std::size_t, std::size_t>> sourceOf_; // by byte of decoded_
    std::vector<SkeletonLetter> folded_, letters_;
    std::u32string foldedText_, skeleton_;
};

// The characters of a gap a reader sees (not those no reader sees: a zero-width space, a soft
// hyphen, the Hangul filler), at most `limit` of them (limit + 1 says "more").
std::vector<char32_t> gapCharacters(std::string_view gap, std::size_t limit) {
    std::vector<char32_t> out;
    for (std::size_t at = 0; at < gap.size() && out.size() <= limit;) {
        bool bad = false;
        const char32_t c = rt::decodeUTF8(gap, at, bad);
        if (!u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            out.push_back(c);
    }
    return out;
}

// Whether letter i follows letter i - 1 with nothing a reader sees between them.
bool followsClosely(const MaskerReading& reading, std::size_t i) {
    return gapCharacters(reading.gapBefore(i), 0).empty();
}

// A dash (a minus sign too) or a character no reader sees (a format character, the Hangul filler).
bool isFormatOrDash(char32_t c) {
    const auto u = static_cast<UChar32>(c);
    const auto type = u_charType(u);
    return type == U_FORMAT_CHAR || type == U_DASH_PUNCTUATION || c == U'\u2212' || c == U'\u2796' ||
           u_hasBinaryProperty(u, UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

bool isSpaceLike(char32_t c) {
    return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

// Between two groups of an IMEI as people write it: one to three of a space of any width, a dash,
// an invisible character, ".", "/" or "_" ("35 - 693803", "35--693803").
bool joinsDigitGroups(std::string_view gap) {
    const std::vector<char32_t> between = gapCharacters(gap, 3);
    return !between.empty() && between.size() <= 3 &&
           std::all_of(between.begin(), between.end(), [](char32_t c) {
               return c == U'.' || c == U'/' || c == U'_' || isSpaceLike(c) || isFormatOrDash(c);
           });
}

// Within an identifier's value: a dash, a format character, ".", "_", "/" or ":".
bool joinsValue(char32_t c) {
    return c == U'.' || c == U'/' || c == U'_' || c == U':' || isFormatOrDash(c);
}

bool isQuote(char32_t c) {
    return c == U'"' || c == U'\'' || c == U'\u2018' || c == U'\u2019' || c == U'\u201C' || c == U'\u201D';
}

// ---- Identifiers the run does not know --------------------------------------------------------

// The keys a value identifying the device stands under, each read as its skeleton.
constexpr std::array<std::string_view, 18> kIdentityKeys = {
    "uniquedeviceidentifier",
    "uniqueidentifier",
    "deviceidentifier",
    "uniquedeviceid",
    "serialnumber",
    "imeinumber",
    "esnnumber",
    "serialnum",
    "uniqueid",
    "serialno",
    "deviceid",
    "imeisv",
    "serial",
    "imei",
    "meid",
    "udid",
    "esn",
    "sn",
};

// The keys' skeletons, longest first, and the letters they start with.
struct IdentityKeys {
    std::vector<std::u32string> skeletons;
    std::u32string starts;

    IdentityKeys() {
        for (std::string_view key : kIdentityKeys)
            skeletons.push_back(skeletonOf(key));
        std::stable_sort(skeletons.begin(), skeletons.end(),
                         [](const auto& a, const auto& b) { return a.size() > b.size(); });
        for (const std::u32string& key : skeletons)
            if (starts.find(key[0]) == std::u32string::npos) starts += key[0];
    }
};

const IdentityKeys& identityKeys() {
    static const IdentityKeys* const keys = new IdentityKeys; // immortal: read until the end
    return *keys;
}

// Whether a name can start at letter i: the text's start, after a separator, or a capital after a
// small letter ("deviceSerialNumber").
bool startsWord(const MaskerReading& reading, std::size_t i) {
    if (i == 0 || !followsClosely(reading, i)) return true;
    const SkeletonLetter& before = reading[i - 1];
    return reading[i].capital && !before.capital && !before.isDigit() && before.end <= reading[i].begin;
}

// The letter after an identity key that starts at letter i, or nullopt: the key's letters with at
// most one character between two of them ("S/N", "Serial No"), ending a word.
std::optional<std::size_t> identityKeyAt(const MaskerReading& reading, std::size_t i) {
    if (!startsWord(reading, i)) return std::nullopt;
    if (reading.gapBefore(i).ends_with("</")) return std::nullopt; // a closing tag
    for (const std::u32string& key : identityKeys().skeletons) {
        if (i + key.size() >= reading.size()) continue;
        std::size_t k = 0;
        for (; k < key.size() && reading[i + k].letter == key[k]; ++k)
            if (k > 0 && gapCharacters(reading.gapBefore(i + k), 1).size() > 1) break;
        if (k == key.size() && !followsClosely(reading, i + k)) return i + k;
    }
    return std::nullopt;
}

// The last letter of the value that starts at letter `first` (nullopt: none that holds a digit),
// quoted or not (`quoted`: up to its closing quote).
std::optional<std::size_t> identityValueEnd(const MaskerReading& reading, std::size_t first, bool quoted) {
    std::size_t last = first;
    bool digit = reading[first].isDigit();
    for (std::size_t next = first + 1; next < reading.size(); ++next) {
        const std::string_view gap = reading.gapBefore(next);
        if (quoted) {
            const std::vector<char32_t> between = gapCharacters(gap, gap.size());
            if (std::any_of(between.begin(), between.end(),
                            [](char32_t c) { return isQuote(c) || c == U'\\' || c < U' '; }))
                break;
        } else if (const std::vector<char32_t> between = gapCharacters(gap, 1); !between.empty()) {
            if (between.size() != 1) break;
            if (!joinsValue(between[0])) {
                // A group after one space goes on with the value when it holds a digit ("F2LX K0AA").
                if (!isSpaceLike(between[0])) break;
                bool groupDigit = false;
                for (std::size_t k = next; k < reading.size() && (k == next || followsClosely(reading, k));
                     ++k)
                    groupDigit = groupDigit || reading[k].isDigit();
                if (!groupDigit) break;
            }
        }
        last = next;
        digit = digit || reading[next].isDigit();
    }
    return digit ? std::optional(last) : std::nullopt;
}

// Where a key's separators end a pair ("udid: , model: X" holds no udid).
bool separatesPairs(char32_t c) {
    return c == U',' || c == U';' || c == U'&' || c == U'?' || c == U'#' || c == U'|' || c == U'\n' ||
           c == U'\r';
}

void findKeyedIdentifiers(const MaskerReading& reading, std::vector<MaskedPart>& found) {
    const std::u32string& keyStarts = identityKeys().starts;
    for (std::size_t i = 0; i < reading.size(); ++i) {
        if (keyStarts.find(reading[i].letter) == std::u32string::npos) continue;
        const std::optional<std::size_t> value = identityKeyAt(reading, i);
        if (!value) continue;
        const std::string_view gap = reading.gapBefore(*value);
        const std::vector<char32_t> between = gapCharacters(gap, gap.size());
        if (between.back() == U'*' || std::any_of(between.begin(), between.end(), separatesPairs)) continue;
        const std::optional<std::size_t> last = identityValueEnd(reading, *value, isQuote(between.back()));
        if (!last) continue;
        const auto [begin, end] = reading.source(*value, *last);
        found.push_back({begin, end, reading.shownAsIdentifier(*value, *last)});
        i = *last;
    }
}

// The IMEI check: the last digit makes the Luhn sum of all of them a multiple of ten.
bool passesLuhn(std::u32string_view digits) {
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        int digit = static_cast<int>(digits[digits.size() - 1 - i] - U'0');
        if (i % 2 == 1 && (digit *= 2) > 9) digit -= 9;
        sum += digit;
    }
    return sum % 10 == 0;
}

constexpr std::size_t kShortestIMEIRun = 14, kLongestIMEIRun = 16; // digits

// The digits of a chain's groups, as an IMEISV (16 digits, no check digit) is written: whole, or in
// groups of 2-6-6-2, 8-6-2 or 14-2.
bool writtenAsIMEISV(const std::vector<std::size_t>& groupSizes) {
    using Sizes = std::vector<std::size_t>;
    static const Sizes shapes[] = {{16}, {2, 6, 6, 2}, {8, 6, 2}, {14, 2}};
    return std::find(std::begin(shapes), std::end(shapes), groupSizes) != std::end(shapes);
}

void findIMEIRuns(const MaskerReading& reading, std::vector<MaskedPart>& found) {
    // The groups of digits (first letter, last letter), those of one chain joined by one to three
    // separators.
    struct Group {
        std::size_t first, last;
    };
    auto groupsFrom = [&](std::size_t i) {
        std::vector<Group> chain;
        while (i < reading.size() && reading[i].isDigit()) {
            Group group{i, i};
            while (group.last + 1 < reading.size() && reading[group.last + 1].isDigit() &&
                   followsClosely(reading, group.last + 1))
                ++group.last;
            chain.push_back(group);
            i = group.last + 1;
            if (i >= reading.size() || !joinsDigitGroups(reading.gapBefore(i))) break;
        }
        return chain;
    };
    // A group after a digit and a "." or ",": the fraction of a number, where no IMEI starts.
    auto inFraction = [&](const Group& group) {
        if (group.first == 0 || !reading[group.first - 1].isDigit()) return false;
        const std::vector<char32_t> gap = gapCharacters(reading.gapBefore(group.first), 1);
        return gap.size() == 1 && (gap[0] == U'.' || gap[0] == U',');
    };
    for (std::size_t i = 0; i < reading.size();) {
        if (!reading[i].isDigit()) {
            ++i;
            continue;
        }
        const std::vector<Group> chain = groupsFrom(i);
        const std::size_t next = chain.back().last + 1;
        for (std::size_t s = 0; s < chain.size(); ++s) {
            if (inFraction(chain[s])) continue;
            std::u32string digits;
            std::vector<std::size_t> sizes;
            std::optional<std::size_t> match;
            for (std::size_t e = s; e < chain.size(); ++e) {
                for (std::size_t k = chain[e].first; k <= chain[e].last; ++k)
                    digits += reading[k].letter;
                sizes.push_back(chain[e].last - chain[e].first + 1);
                if (digits.size() > kLongestIMEIRun) break;
                if (digits.size() >= kShortestIMEIRun && (passesLuhn(digits) || writtenAsIMEISV(sizes)))
                    match = e;
            }
            if (!match) continue;
            const auto [begin, end] = reading.source(chain[s].first, chain[*match].last);
            found.push_back({begin, end, reading.shownAsIdentifier(chain[s].first, chain[*match].last)});
            s = *match; // the next window starts after this one
        }
        i = next;
    }
}

// ---- The run's own values ---------------------------------------------------------------------

// The passwords as they are written, on the folded text: inside a text, or as a word of its own.
void findRunPasswords(const MaskerReading& reading, const std::vector<RunSecret>& secrets,
                      std::vector<MaskedPart>& found) {
    const std::u32string_view folded = reading.foldedText();
    for (const RunSecret& secret : secrets) {
        if (secret.isIdentifier() || !(secret.inside || secret.asWord())) continue;
        for (std::size_t at = folded.find(secret.folded); at != std::u32string_view::npos;
             at = folded.find(secret.folded, at + 1)) {
            const std::size_t last = at + secret.folded.size() - 1;
            if (!secret.inside && !reading.standsAlone(at, last)) continue;
            const auto [begin, end] = reading.foldedSource(at, last);
            found.push_back({begin, end, secret.shownAs});
        }
    }
}

// The identifiers by their skeletons, and an IMEI's core.
void findRunIdentifiers(const MaskerReading& reading, const std::vector<RunSecret>& secrets,
                        std::vector<MaskedPart>& found) {
    const std::u32string_view skeleton = reading.skeleton();
    for (const RunSecret& secret : secrets) {
        if (!secret.inside || !secret.isIdentifier()) continue;
        auto findLetters = [&](const std::u32string& letters, const std::string& shown) {
            for (std::size_t at = skeleton.find(letters); at != std::u32string_view::npos;
                 at = skeleton.find(letters, at + 1)) {
                const auto [begin, end] = reading.source(at, at + letters.size() - 1);
                found.push_back({begin, end, shown});
            }
        };
        findLetters(secret.letters, secret.shownAs);
        if (!secret.core.empty()) findLetters(secret.core, std::string(secret.core.size(), '*'));
    }
}

// The parts found, in the text's order, as parts that do not overlap: overlapping ones become one,
// written as the one that covers it whole (the longest), else as "*" for each of its characters.
std::vector<MaskedPart> withoutOverlaps(std::string_view text, std::vector<MaskedPart> found) {
    std::stable_sort(found.begin(), found.end(), [](const MaskedPart& a, const MaskedPart& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.end > b.end;
    });
    std::vector<MaskedPart> parts;
    for (std::size_t i = 0; i < found.size();) {
        MaskedPart part = found[i];
        bool covered = true;
        for (++i; i < found.size() && found[i].begin < part.end; ++i)
            if (found[i].end > part.end) {
                part.end = found[i].end;
                covered = false;
            }
        if (!covered)
            part.shown = std::string(rt::codePointCount(text.substr(part.begin, part.end - part.begin)), '*');
        parts.push_back(std::move(part));
    }
    return parts;
}

// Whether the text may hold an identifier the run does not know: a digit, a character that may
// fold into one, or an escape.
bool mayHoldUnknownIdentifier(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '%' || c == '\\' || c == '&' ||
               static_cast<unsigned char>(c) >= 0x80;
    });
}

// Adds `secret` to the run's values, or makes one it repeats lasting (not provisional) when it is.
void keepRunSecret(RunSecret secret) {
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    if (!store.kept) return;
    auto secrets = store.secrets ? std::make_shared<std::vector<RunSecret>>(*store.secrets)
                                 : std::make_shared<std::vector<RunSecret>>();
    const auto same = std::find_if(secrets->begin(), secrets->end(), [&](const RunSecret& kept) {
        return kept.value.reveal() == secret.value.reveal() && kept.isIdentifier() == secret.isIdentifier();
    });
    if (same != secrets->end()) {
        if (!same->provisional || secret.provisional) return;
        same->provisional = false;
    } else {
        const auto shorter = std::find_if(secrets->begin(), secrets->end(), [&](const RunSecret& kept) {
            return kept.value.reveal().size() < secret.value.reveal().size();
        });
        secrets->insert(shorter, std::move(secret));
    }
    store.secrets = std::move(secrets);
}

} // namespace

// A text from outside in a text the run puts together: kOutsideStart, the cut's limit, ":", the
// text with each of the three marks in it written as kMarkEscape and a letter, kOutsideEnd. The
// marks are control characters, which printableCut spells out of every text it marks: no text
// from outside holds one once marked, nor ends its mark early.
constexpr char kMarkEscape = '\x1D', kOutsideStart = '\x1E', kOutsideEnd = '\x1F';

std::string printableCut(std::string_view text, std::size_t limit) {
    std::string out(1, kOutsideStart);
    out.append(std::to_string(limit)) += ':';
    for (const char c : text) {
        if (c == kMarkEscape || c == kOutsideStart || c == kOutsideEnd) {
            out += kMarkEscape;
            out += static_cast<char>('@' + (c - kMarkEscape));
        } else {
            out += c;
        }
    }
    return out += kOutsideEnd;
}

namespace {

// The text masked, of the run's passwords too or only of identifiers.
std::string maskedWith(std::string_view text, bool passwords);

// `composed` as it is written: each text from outside it marks masked whole, then cut and made
// printable (the parts are masked before the cut, so none is cut in half); the rest masked of
// identifiers only (`ownWords`: the run's own words) or whole. A mark without its end starts a
// text from outside that runs to the end.
std::string resolved(std::string_view composed, bool ownWords) {
    std::string out;
    for (std::size_t at = 0; at < composed.size();) {
        const std::size_t start = composed.find(kOutsideStart, at);
        out += maskedWith(composed.substr(at, start == std::string_view::npos ? start : start - at), !ownWords);
        if (start == std::string_view::npos) break;
        const std::size_t colon = composed.find(':', start);
        const std::size_t end = composed.find(kOutsideEnd, start);
        std::size_t limit = 0;
        const auto [digitsEnd, ec] =
            colon == std::string_view::npos
                ? std::from_chars_result{nullptr, std::errc::invalid_argument}
                : std::from_chars(composed.data() + start + 1, composed.data() + colon, limit);
        if (end == std::string_view::npos || colon > end || ec != std::errc() || digitsEnd != composed.data() + colon) {
            out += maskedWith(composed.substr(start), true); // not marked by printableCut
            break;
        }
        std::string text;
        for (std::size_t k = colon + 1; k < end; ++k)
            if (composed[k] == kMarkEscape && k + 1 < end)
                text += static_cast<char>(kMarkEscape + (composed[++k] - '@'));
            else
                text += composed[k];
        const bool quotesMarked = text.find(kOutsideStart) != std::string::npos;
        out += ns::printableCut(quotesMarked ? resolved(text, false) : maskedRunText(text), limit);
        at = end + 1;
    }
    return out;
}

// Each line of `text` made printable.
std::string printableLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        appendPrintable(out, text.substr(at, end - at));
        if (end < text.size()) out += '\n';
        at = end + 1;
    }
    return out;
}

} // namespace

MaskedText maskedWritten(std::string_view composed, bool ownWords, bool spelledOut) {
    std::string text = resolved(composed, ownWords);
    if (!spelledOut) return MaskedText(std::move(text));
    if (ownWords) return MaskedText(printableLines(text));
    std::string line;
    appendPrintable(line, text);
    return MaskedText(std::move(line));
}

MaskedText maskedLines(std::string_view composed) {
    return maskedWritten(composed, true, true);
}

MaskedText maskedMessage(std::string_view composed) {
    return maskedWritten(composed, false, true);
}

MaskedText maskedOutsideText(std::string_view text) {
    return maskedWritten(text, false, false);
}

MaskedText MaskedText::withLinesLedBy(std::string_view lead) const {
    std::string out;
    for (std::string_view rest = text_;;) {
        const std::size_t end = rest.find('\n');
        out.append(lead).append(rest.substr(0, end)) += '\n';
        if (end == std::string_view::npos || end + 1 == rest.size()) break;
        rest.remove_prefix(end + 1);
    }
    return MaskedText(std::move(out));
}

URLMasking setHandedOverURLMasking(URLMasking masking) {
    return handedOverURLMasking().replace(std::move(masking));
}

std::string maskedHandedOverURL(std::string_view url) {
    const auto masking = handedOverURLMasking().get();
    return masking ? (*masking)(url) : std::string(url);
}

RunSecrets::RunSecrets() : quoteMasking_(ns::setQuoteMasking(maskedRunText)) {
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    store.kept = true;
    store.secrets = nullptr;
}

RunSecrets::~RunSecrets() {
    ns::setQuoteMasking(std::move(quoteMasking_));
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    store.kept = false;
    store.secrets = nullptr;
}

std::ostream& operator<<(std::ostream& out, const Secret&) {
    return out << Secret::kShown;
}

void addRunSecret(const Secret& value, std::string shownAs, SecretSpelling spelling) {
    if (value.empty()) return;
    RunSecret secret(value, std::move(shownAs), spelling, false);
    if (spelling == SecretSpelling::Identifier && !secret.isIdentifier()) return; // nothing to find it by
    keepRunSecret(std::move(secret));
}

void addTypedRunSecret(const Secret& typed) {
    if (!typed.empty())
        keepRunSecret(RunSecret(typed, std::string(Secret::kShown), SecretSpelling::Exact, true));
}

void typedTextShown(std::string_view typed) {
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    if (!store.secrets) return;
    auto secrets = std::make_shared<std::vector<RunSecret>>(*store.secrets);
    if (std::erase_if(*secrets, [&](const RunSecret& kept) {
            return kept.provisional && kept.value.reveal() == typed;
        }))
        store.secrets = std::move(secrets);
}

namespace {

std::vector<MaskedPart> masksOf(std::string_view text, bool passwords) {
    const std::shared_ptr<const std::vector<RunSecret>> secrets = currentRunSecrets();
    if (text.empty() || ((!secrets || secrets->empty()) && !mayHoldUnknownIdentifier(text))) return {};
    // The text as written and, when it holds an escape, decoded: what either shows is masked.
    std::vector<MaskerReading> readings;
    readings.emplace_back(text, false);
    if (text.find_first_of("%\\&") != std::string_view::npos) readings.emplace_back(text, true);
    // A value too short to be masked inside a text, where it is the whole text.
    if (secrets)
        for (const RunSecret& secret : *secrets)
            if (!secret.inside && (passwords || secret.isIdentifier()) && std::any_of(readings.begin(), readings.end(), [&](const MaskerReading& r) {
                    return secret.isIdentifier() ? r.skeleton() == secret.letters
                                                 : r.foldedText() == secret.folded;
                }))
                return {{0, text.size(), secret.shownAs}};
    // The run's own values first: where one covers what another rule finds, it is written as the
    // run's; then a run of digits as a number, before a key's value as written.
    std::vector<MaskedPart> found;
    if (secrets)
        for (const MaskerReading& reading : readings) {
            if (passwords) findRunPasswords(reading, *secrets, found);
            findRunIdentifiers(reading, *secrets, found);
        }
    for (const MaskerReading& reading : readings)
        findIMEIRuns(reading, found);
    for (const MaskerReading& reading : readings)
        findKeyedIdentifiers(reading, found);
    return withoutOverlaps(text, std::move(found));
}

std::string maskedWith(std::string_view text, bool passwords) {
    const std::vector<MaskedPart> parts = masksOf(text, passwords);
    if (parts.empty()) return std::string(text);
    std::string out;
    std::size_t at = 0;
    for (const MaskedPart& part : parts) {
        out.append(text.substr(at, part.begin - at)).append(part.shown);
        at = part.end;
    }
    return out.append(text.substr(at));
}

} // namespace

std::vector<MaskedPart> runTextMasks(std::string_view text) {
    return masksOf(text, true);
}

std::string maskedRunText(std::string_view text) {
    return maskedWith(text, true);
}

} // namespace sim
