#include "platform/sim/run_text.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/runtime/installed.h"

namespace sim {

namespace {

// The maskings the main job installs for the process, read from any thread; immortal, read until
// the end.
rt::Installed<TextMasking>& handedOverURLMasking() {
    static auto* shared = new rt::Installed<TextMasking>;
    return *shared;
}

rt::Installed<TextMasking>& identifierMasking() {
    static auto* shared = new rt::Installed<TextMasking>;
    return *shared;
}

// `text` through the masking installed, as it is when none is.
std::string masked(const rt::Installed<TextMasking>& installed, std::string_view text) {
    const auto masking = installed.get();
    return masking ? (*masking)(text) : std::string(text);
}

std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

char lowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// What people put between the characters of an identifier they write out.
bool isIdentifierSeparator(char c) {
    return c == ' ' || c == '-' || c == '.';
}

// One of the run's secrets, and how it is found in a text.
struct RunSecret {
    std::string value, shownAs;
    bool inside;         // masked inside a text, not only where it is the whole text
    std::string letters; // an identifier's characters in lower case, without separators; else empty

    RunSecret(std::string_view secret, std::string shown, SecretSpelling spelling)
        : value(secret), shownAs(std::move(shown)), inside(characterCount(secret) >= kShortestSecretInside) {
        if (spelling == SecretSpelling::Identifier)
            for (char c : secret)
                if (!isIdentifierSeparator(c)) letters += lowerCase(c);
    }

    // Where the secret next stands in `text` from `from`, and how many bytes it takes there: as it
    // is written, or an identifier's letters in either case with separators between them.
    std::pair<std::size_t, std::size_t> find(std::string_view text, std::size_t from) const {
        if (letters.empty()) return {text.find(value, from), value.size()};
        for (std::size_t at = from; at < text.size(); ++at) {
            if (lowerCase(text[at]) != letters[0]) continue;
            std::size_t matched = 1, end = at + 1;
            for (; matched < letters.size() && end < text.size(); ++end)
                if (lowerCase(text[end]) == letters[matched])
                    ++matched;
                else if (!isIdentifierSeparator(text[end]))
                    break;
            if (matched == letters.size()) return {at, end - at};
        }
        return {std::string_view::npos, 0};
    }
    bool isWhole(std::string_view text) const {
        const auto [at, length] = find(text, 0);
        return at == 0 && length == text.size();
    }
};

// The run's secrets, longest first; replaced whole as one is added, so a reader masks with the
// list it took without holding the lock.
struct RunSecretStore {
    std::mutex lock;
    bool kept = false; // a RunSecrets lives
    std::shared_ptr<const std::vector<RunSecret>> secrets;
};

RunSecretStore& runSecretStore() {
    static RunSecretStore* shared = new RunSecretStore; // immortal: read until the end
    return *shared;
}

} // namespace

std::string printableCut(std::string_view text, std::size_t limit) {
    // The secrets are masked before the cut, so none is cut in half.
    return ns::printableCut(maskedRunSecrets(text), limit);
}

URLMasking setHandedOverURLMasking(URLMasking masking) {
    return handedOverURLMasking().replace(std::move(masking));
}

std::string maskedHandedOverURL(std::string_view url) {
    return masked(handedOverURLMasking(), url);
}

TextMasking setIdentifierMasking(TextMasking masking) {
    return identifierMasking().replace(std::move(masking));
}

RunSecrets::RunSecrets() : quoteMasking_(ns::setQuoteMasking(maskedRunSecrets)) {
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

void addRunSecret(std::string_view value, std::string shownAs, SecretSpelling spelling) {
    if (value.empty()) return;
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    if (!store.kept) return;
    auto secrets = store.secrets ? std::make_shared<std::vector<RunSecret>>(*store.secrets)
                                 : std::make_shared<std::vector<RunSecret>>();
    if (std::any_of(secrets->begin(), secrets->end(),
                    [&](const RunSecret& kept) { return kept.value == value; }))
        return;
    const auto shorter = std::find_if(secrets->begin(), secrets->end(), [&](const RunSecret& kept) {
        return kept.value.size() < value.size();
    });
    secrets->insert(shorter, RunSecret(value, std::move(shownAs), spelling));
    store.secrets = std::move(secrets);
}

std::string maskedRunSecrets(std::string_view text) {
    std::shared_ptr<const std::vector<RunSecret>> secrets;
    {
        RunSecretStore& store = runSecretStore();
        std::lock_guard g(store.lock);
        secrets = store.secrets;
    }
    if (!secrets) return masked(identifierMasking(), text);
    for (const RunSecret& secret : *secrets)
        if (!secret.inside && secret.isWhole(text)) return secret.shownAs;
    std::string out;
    for (std::size_t from = 0;;) {
        std::size_t at = std::string_view::npos, length = 0;
        const RunSecret* found = nullptr;
        for (const RunSecret& secret : *secrets) { // longest first: a longer one starting there wins
            if (!secret.inside) continue;
            if (const auto [where, taking] = secret.find(text, from); where < at) {
                at = where;
                length = taking;
                found = &secret;
            }
        }
        if (!found) return masked(identifierMasking(), out.append(text.substr(from)));
        out.append(text.substr(from, at - from)).append(found->shownAs);
        from = at + length;
    }
}

} // namespace sim
