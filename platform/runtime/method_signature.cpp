#include "platform/runtime/method_signature.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace rt {

namespace {

struct Interned {
    std::mutex lock;
    std::unordered_map<std::string_view, std::unique_ptr<MethodSignature>> signatures; // keyed by their own text
};

Interned& interned() {
    static Interned* table = new Interned; // signatures are used during static teardown
    return *table;
}

std::string_view withoutQualifiers(std::string_view encoding) {
    while (!encoding.empty() && std::string_view("rnNoORVA").find(encoding[0]) != std::string_view::npos)
        encoding.remove_prefix(1);
    return encoding;
}

} // namespace

bool MethodSignature::parse() {
    std::string_view rest = types_;
    while (!rest.empty()) {
        std::optional<TypeLayout> layout = sizeAndAlignment(rest);
        if (!layout) return false;
        std::string_view encoding = rest.substr(0, layout->length);
        entries_.push_back({encoding, kindOfEncoding(withoutQualifiers(encoding)), layout->size, layout->alignment});
        rest.remove_prefix(layout->length);
        // The frame offset the platform writes after each type, negative for some arguments.
        if (!rest.empty() && rest[0] == '-') rest.remove_prefix(1);
        while (!rest.empty() && rest[0] >= '0' && rest[0] <= '9') rest.remove_prefix(1);
    }
    if (entries_.size() < 3) return false;
    std::string_view receiver = withoutQualifiers(entries_[1].encoding);
    if (receiver[0] != '@' && receiver[0] != '#') return false;
    if (withoutQualifiers(entries_[2].encoding) != ":") return false;
    for (std::size_t i = 1; i < entries_.size(); ++i)
        if (entries_[i].kind == ValueKind::Void) return false; // no argument is void
    return true;
}

const MethodSignature* MethodSignature::withTypes(std::string_view types) {
    Interned& table = interned();
    std::lock_guard g(table.lock);
    if (auto it = table.signatures.find(types); it != table.signatures.end()) return it->second.get();
    std::unique_ptr<MethodSignature> signature(new MethodSignature(std::string(types)));
    if (!signature->parse()) return nullptr;
    std::string_view key = signature->types();
    return table.signatures.emplace(key, std::move(signature)).first->second.get();
}

} // namespace rt
