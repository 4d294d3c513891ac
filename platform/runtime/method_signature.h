#pragma once
// A method's type encoding ("v@:B") read into its return type and its argument types, each with
// its kind, size and alignment: what an invocation needs to lay out one slot per argument.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/type_encoding.h"

namespace rt {

// One type of a signature.
struct SignatureType {
    std::string_view encoding; // as written, qualifiers included: "r*", "{CGPoint=dd}"
    ValueKind kind;
    std::size_t size;
    std::size_t alignment;
};

class MethodSignature {
public:
    // The signature of a method encoding: the return type, "@" (or "#") for the receiver, ":" for
    // the selector, then one type per argument; frame offsets after a type ("v16@0:8") are skipped.
    // Signatures are interned: they live for the process, and one text gives one signature. Null
    // when the text is not such an encoding.
    static const MethodSignature* withTypes(std::string_view types);

    const std::string& types() const noexcept { return types_; }
    // Counted as the platform counts them: the receiver is argument 0, the selector argument 1.
    std::size_t numberOfArguments() const noexcept { return entries_.size() - 1; }
    // index < numberOfArguments().
    const SignatureType& argumentType(std::size_t index) const noexcept { return entries_[index + 1]; }
    const SignatureType& returnType() const noexcept { return entries_[0]; }

    MethodSignature(const MethodSignature&) = delete;
    MethodSignature& operator=(const MethodSignature&) = delete;

private:
    explicit MethodSignature(std::string types) : types_(std::move(types)) {}
    // Reads types_; false when it is not a method encoding.
    bool parse();

    std::string types_;
    std::vector<SignatureType> entries_; // the return type, then the arguments
};

} // namespace rt
