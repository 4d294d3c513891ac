#include "platform/sim/run_text.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace sim {

namespace {

struct HandedOverURLMasking {
    std::mutex lock;
    URLMasking masking;
};

HandedOverURLMasking& handedOverURLMasking() {
    static HandedOverURLMasking* shared = new HandedOverURLMasking; // immortal: read until the end
    return *shared;
}

// The run's secrets, longest first; replaced whole as one is added, so a reader masks with the
// list it took without holding the lock.
struct RunSecret {
    std::string value, shownAs;
};
struct RunSecretStore {
    std::mutex lock;
    bool kept = false; // a RunSecrets lives
    std::shared_ptr<const std::vector<RunSecret>> secrets;
};

RunSecretStore& runSecretStore() {
    static RunSecretStore* shared = new RunSecretStore; // immortal: read until the end
    return *shared;
}

std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

std::string printableCut(std::string_view text, std::size_t limit) {
    // The secrets are masked before the cut, so none is cut in half.
    return ns::printableCut(maskedRunSecrets(text), limit);
}

URLMasking setHandedOverURLMasking(URLMasking masking) {
    HandedOverURLMasking& shared = handedOverURLMasking();
    std::lock_guard g(shared.lock);
    return std::exchange(shared.masking, std::move(masking));
}

std::string maskedHandedOverURL(std::string_view url) {
    HandedOverURLMasking& shared = handedOverURLMasking();
    std::lock_guard g(shared.lock);
    return shared.masking ? shared.masking(url) : std::string(url);
}

RunSecrets::RunSecrets() {
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    store.kept = true;
    store.secrets = nullptr;
}

RunSecrets::~RunSecrets() {
    RunSecretStore& store = runSecretStore();
    std::lock_guard g(store.lock);
    store.kept = false;
    store.secrets = nullptr;
}

void addRunSecret(std::string_view value, std::string shownAs) {
    if (characterCount(value) < kShortestRunSecret) return;
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
    secrets->insert(shorter, {std::string(value), std::move(shownAs)});
    store.secrets = std::move(secrets);
}

std::string maskedRunSecrets(std::string_view text) {
    std::shared_ptr<const std::vector<RunSecret>> secrets;
    {
        RunSecretStore& store = runSecretStore();
        std::lock_guard g(store.lock);
        secrets = store.secrets;
    }
    if (!secrets) return std::string(text);
    std::string out;
    for (std::size_t from = 0;;) {
        std::size_t at = std::string_view::npos;
        const RunSecret* found = nullptr;
        for (const RunSecret& secret : *secrets) // longest first: a longer one starting there wins
            if (const std::size_t where = text.find(secret.value, from); where < at) {
                at = where;
                found = &secret;
            }
        if (!found) return out.append(text.substr(from));
        out.append(text.substr(from, at - from)).append(found->shownAs);
        from = at + found->value.size();
    }
}

} // namespace sim
