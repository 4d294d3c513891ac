#pragma once
// The one routine that writes text into JSON strings and XML elements: each ASCII byte is kept,
// replaced, or refused as its table says; bytes from 0x80 up (UTF-8 sequences) are copied as they
// are. Used by ns::JSONSerialization, the property-list JSON of the user defaults and the XML
// property lists.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace ns::detail {

class EscapeTable {
public:
    // What `c` (ASCII) becomes; at most seven bytes.
    void replace(char c, std::string_view with);
    // `c` cannot be written at all.
    void refuse(char c);

    // JSON: '"', '\\' and the control characters escaped (\n, \t... or \u00XX); '/' as "\/" when
    // asked.
    static const EscapeTable& json(bool escapeSlash);
    // XML character data: & < > as entities, CR as "&#13;" (readers turn a raw CR into LF); the
    // other control characters but TAB and LF refused.
    static const EscapeTable& xml();

    // The most bytes one byte of text becomes.
    static constexpr std::size_t kLongest = 7;

private:
    friend char* writeEscaped(char*, std::string_view, const EscapeTable&, std::size_t&);
    // Length of the leading run of `text` whose bytes are kept as they are.
    std::size_t plainPrefix(std::string_view text) const noexcept;
    static constexpr unsigned char kRefused = 0xFF;
    struct Entry {
        unsigned char length = 0; // 0: the byte as it is
        char text[kLongest] = {};
    };
    std::array<Entry, 128> entries_{};
    std::array<bool, 256> special_{}; // the byte is replaced or refused
};

// What the serializers' writers share: the text so far and the first problem met.
class TextWriter {
public:
    std::string& out() { return out_; }
    const std::string& problem() const { return problem_; }

protected:
    bool fail(std::string what) {
        if (problem_.empty()) problem_ = std::move(what);
        return false;
    }

    std::string out_;
    std::string problem_;
};

// Appends `text` escaped by `table`. Returns the offset of the first refused byte (what came before
// it is appended), or npos when the whole text was written.
std::size_t appendEscaped(std::string& out, std::string_view text, const EscapeTable& table);
// The same into memory with room for EscapeTable::kLongest bytes per byte of `text`: returns the
// end of what it wrote, and sets `refused` as appendEscaped returns.
char* writeEscaped(char* out, std::string_view text, const EscapeTable& table, std::size_t& refused);

} // namespace ns::detail
