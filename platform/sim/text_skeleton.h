#pragma once
// How the run's masker reads a text to compare it with a secret however a person wrote it: each
// character folded as Unicode's compatibility folding folds it (full-width "Ｆ" is "F", "①" is
// "1", "ﬁ" is "fi"), a decimal digit of any script as its ASCII digit, a letter as the letter it
// looks like (Unicode's confusable skeleton: Cyrillic "о" and Greek "ο" are "o", "I" is "l", "m"
// is "rn"), and the letters that look like digits as those digits ("O" and "o" are "0", "l" is
// "1"); the characters no reader sees (a zero-width space, a soft hyphen, the Hangul filler) left
// out.
//
// The folded text keeps every other character too (folded the same way: "＠" is "@", a space of
// any width " ") and each letter's case, for a value written as it is (a password: "Pass" is not
// "pass"). The skeleton, for an identifier, which people write in either case and with any
// separators between its characters (spaces of every width, dashes, "/", "_", ":"), keeps only the
// letters and digits, case folded too ("i" is "1" as "I" is), and drops punctuation, marks,
// control characters and bytes that are not UTF-8. Each character keeps where it stands in the
// text, so what is found in either is found in the text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A character of a folded text, and the bytes [begin, end) of the character of the text it was
// folded from (a character folded into several, "ﬁ", gives each of them its bytes).
struct SkeletonLetter {
    char32_t letter;
    std::uint32_t begin, end;
    bool capital;       // the character was a capital letter: where a camel-case word starts
    bool number;        // a digit ("3", "３", "٣", "③"), not a letter that looks like one
    bool letterOrDigit; // what a skeleton keeps
    bool isDigit() const { return number; }
};

// The folded text of `text`, character by character, and its skeleton, letter by letter.
std::vector<SkeletonLetter> foldedCharacters(std::string_view text);
std::vector<SkeletonLetter> skeletonLetters(std::string_view text);
// The folded text alone, and the skeleton alone: the skeletons of "35 693803-564380 9" and
// "３５６９３８０３５６４３８０９" are "356938035643809", those of "F2LXKOAAHG7F" and "f2lxk0aahg7f" are
// "f21xk0aahg7f".
std::u32string foldedTextOf(std::string_view text);
std::u32string skeletonOf(std::string_view text);

} // namespace sim
