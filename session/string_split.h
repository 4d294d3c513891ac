#pragma once
// The text between two markers of a string.

#include "platform/foundation/string.h"

namespace ft {

// The text after the first occurrence of `begin` (case-sensitive) up to the first occurrence of
// `end` after it (ignoring case), untrimmed. The end marker is looked for from the end of the
// begin marker, so markers that overlap still give a text. Nil when the receiver or a marker is
// nil or empty, or a marker is not found.
rt::Ref<ns::String> stringSplitWithBegin(const rt::Ref<ns::String>& s, const rt::Ref<ns::String>& begin,
                                         const rt::Ref<ns::String>& end);

} // namespace ft
