#pragma once
// A text's skeleton: what is left of it to compare an identifier with however a person wrote it.
// Its letters and digits only, each folded as Unicode's compatibility and case folding fold it
// (full-width "Ｆ" and "F" are "f", "①" is "1", "ﬁ" is "fi"), a decimal digit of any script as its
// ASCII digit, and every other character dropped: spaces of every width, dashes, format characters
// (a zero-width space), punctuation, marks, control characters and bytes that are not UTF-8. Each
// letter keeps where it stands in the text, so what is found in a skeleton is found in the text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A letter or digit of a skeleton, and the bytes [begin, end) of the character of the text it was
// folded from (a character folded into several, "ﬁ", gives each of them its bytes).
struct SkeletonLetter {
    char32_t letter;
    std::uint32_t begin, end;
    bool capital; // the character was a capital letter: where a camel-case word starts
    bool isDigit() const { return letter >= U'0' && letter <= U'9'; }
};

// The skeleton of `text`, letter by letter.
std::vector<SkeletonLetter> skeletonLetters(std::string_view text);
// The skeleton alone: "35 693803-564380 9" and "３５６９３８０３５６４３８０９" are "356938035643809".
std::u32string skeletonOf(std::string_view text);

} // namespace sim
