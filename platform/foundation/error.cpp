#include "platform/foundation/error.h"

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Error, "NSError", rt::Object)

rt::Ref<Error> Error::make(std::string_view domain, long code, rt::Ref<Dictionary> userInfo) {
    return make(String::make(domain), code, std::move(userInfo));
}

rt::Ref<Error> Error::make(rt::Ref<String> domain, long code, rt::Ref<Dictionary> userInfo) {
    if (!domain) domain = String::empty();
    // Copies of strings and immutable dictionaries are the objects themselves.
    auto d = rt::downcast<String>(domain->copy());
    rt::Ref<Dictionary> info;
    if (userInfo)
        info = rt::downcast<Dictionary>(userInfo->copy());
    else
        info = Dictionary::make();
    return rt::make<Error>(std::move(d), code, std::move(info));
}

rt::Ref<String> Error::stringFor(const char* key) const {
    rt::Id v = userInfo_->objectForKey(key);
    return rt::Ref<String>(dynamic_cast<String*>(v.get()));
}

rt::Ref<String> Error::localizedDescription() const {
    if (auto s = stringFor(LocalizedDescriptionKey)) return s;
    return String::make("The operation couldn\u2019t be completed. (" + domain_->utf8() + " error " +
                        std::to_string(code_) + ".)");
}

rt::Ref<String> Error::localizedFailureReason() const {
    return stringFor(LocalizedFailureReasonErrorKey);
}

rt::Ref<String> Error::localizedRecoverySuggestion() const {
    return stringFor(LocalizedRecoverySuggestionErrorKey);
}

rt::Ref<Error> Error::underlyingError() const {
    rt::Id v = userInfo_->objectForKey(UnderlyingErrorKey);
    return rt::Ref<Error>(dynamic_cast<Error*>(v.get()));
}

std::string Error::description() const {
    std::string s = "Error Domain=" + domain_->utf8() + " Code=" + std::to_string(code_) + " \"" +
                    localizedDescription()->utf8() + "\"";
    if (userInfo_->isEmpty()) return s;
    s += " UserInfo={";
    bool first = true;
    for (auto [key, value] : *userInfo_) {
        if (!first) s += ", ";
        first = false;
        s += key->description();
        s += '=';
        s += value->description();
    }
    s += '}';
    return s;
}

bool Error::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* e = dynamic_cast<const Error*>(other);
    return e && e->code_ == code_ && e->domain_->isEqualToString(domain_.get()) &&
           e->userInfo_->isEqualToDictionary(*userInfo_);
}

std::size_t Error::hash() const {
    return domain_->hash() ^ static_cast<std::size_t>(code_);
}

rt::Ref<Error> cocoaError(long code, std::string_view description, std::string_view debugDescription) {
    auto info = MutableDictionary::make();
    info->setObjectForKey(String::make(description), LocalizedDescriptionKey);
    if (!debugDescription.empty()) info->setObjectForKey(String::make(debugDescription), DebugDescriptionErrorKey);
    return Error::make(CocoaErrorDomain, code, info);
}

void serializationReadError(rt::Ref<Error>* out, std::string_view debugDescription) {
    if (out)
        *out = cocoaError(PropertyListReadCorruptError,
                          "The data couldn\u2019t be read because it isn\u2019t in the correct format.", debugDescription);
}

void serializationWriteError(rt::Ref<Error>* out, std::string_view debugDescription) {
    if (out)
        *out = cocoaError(PropertyListWriteStreamError,
                          "The data couldn\u2019t be written because it isn\u2019t in the correct format.",
                          debugDescription);
}

} // namespace ns
