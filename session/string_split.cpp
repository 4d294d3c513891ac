#include "session/string_split.h"

#include "platform/foundation/string_services.h"

namespace ft {

rt::Ref<ns::String> stringSplitWithBegin(const rt::Ref<ns::String>& s, const rt::Ref<ns::String>& begin,
                                         const rt::Ref<ns::String>& end) {
    if (!s || s->length() == 0 || !begin || begin->length() == 0 || !end || end->length() == 0) return nullptr;
    const ns::Range found = s->rangeOfString(begin->utf8());
    if (found.location == ns::NotFound) return nullptr;
    const std::size_t from = found.max();
    const ns::Range closing = ns::rangeOfStringCaseInsensitive(*s, end->utf8(), {from, s->length() - from});
    if (closing.location == ns::NotFound) return nullptr;
    return s->substringWithRange({from, closing.location - from});
}

} // namespace ft
