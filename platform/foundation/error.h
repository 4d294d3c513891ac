#pragma once
// ns::Error: an immutable error: a domain, a code and a dictionary of further information.

#include <string>
#include <string_view>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

// userInfo keys.
inline constexpr const char* LocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* LocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr const char* LocalizedRecoverySuggestionErrorKey = "NSLocalizedRecoverySuggestion";
inline constexpr const char* UnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* DebugDescriptionErrorKey = "NSDebugDescription";

inline constexpr const char* CocoaErrorDomain = "NSCocoaErrorDomain";
// NSCocoaErrorDomain: data that cannot be decoded.
inline constexpr long CoderReadCorruptError = 4864;
// NSCocoaErrorDomain codes of the JSON and property-list serializers.
inline constexpr long PropertyListReadCorruptError = 3840;
inline constexpr long PropertyListWriteStreamError = 3851;

class Error : public rt::Object {
    RT_CLASS(Error)
public:
    // The user info is copied; nil means none. A nil domain is taken as the empty one.
    static rt::Ref<Error> make(std::string_view domain, long code, rt::Ref<Dictionary> userInfo = nullptr);
    static rt::Ref<Error> make(rt::Ref<String> domain, long code, rt::Ref<Dictionary> userInfo = nullptr);

    const rt::Ref<String>& domain() const noexcept { return domain_; }
    long code() const noexcept { return code_; }
    // Never nil: empty when the error was made without one.
    const rt::Ref<Dictionary>& userInfo() const noexcept { return userInfo_; }

    // The user info's description when it is a string; otherwise
    // "The operation couldn’t be completed. (<domain> error <code>.)".
    rt::Ref<String> localizedDescription() const;
    // The user info's strings; nil when absent (or not strings).
    rt::Ref<String> localizedFailureReason() const;
    rt::Ref<String> localizedRecoverySuggestion() const;
    // The user info's underlying error; nil when absent.
    rt::Ref<Error> underlyingError() const;

    // Error Domain=<domain> Code=<code> "<localizedDescription>" UserInfo={key=value, ...}
    // (without the UserInfo part when it is empty).
    std::string description() const override;
    // Same domain, code and equal user info.
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

private:
    Error(rt::Ref<String> domain, long code, rt::Ref<Dictionary> userInfo)
        : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

    rt::Ref<String> stringFor(const char* key) const;

    rt::Ref<String> domain_;
    long code_;
    rt::Ref<Dictionary> userInfo_;
};

// An NSCocoaErrorDomain error with a localized description and, when given, a debug description.
rt::Ref<Error> cocoaError(long code, std::string_view description, std::string_view debugDescription = {});

// What the serializers report when they cannot read or write a value.
void serializationReadError(rt::Ref<Error>* out, std::string_view debugDescription);
void serializationWriteError(rt::Ref<Error>* out, std::string_view debugDescription);

} // namespace ns
