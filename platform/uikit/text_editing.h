#pragma once
// Private to the UIKit stand-in: the edits a keyboard makes to the text of a field or a text view.

#include <string_view>

#include "platform/foundation/string.h"

namespace ui::detail {

// Typing at the end: an empty range there.
inline ns::Range insertionRange(const ns::String& text) {
    return {text.length(), 0};
}

// The delete key: the last composed character; an empty range at 0 for empty text.
inline ns::Range deletionRange(const ns::String& text) {
    if (text.isEmpty()) return {0, 0};
    return text.rangeOfComposedCharacterSequenceAtIndex(text.length() - 1);
}

// The text with `range` replaced.
inline rt::Ref<ns::String> replacing(const ns::String& text, ns::Range range, std::string_view replacement) {
    return text.substringToIndex(range.location)
        ->stringByAppendingString(replacement)
        ->stringByAppendingString(*text.substringFromIndex(range.max()));
}

} // namespace ui::detail
