#include "platform/foundation/text_escaping.h"

#include <algorithm>
#include <cstring>

namespace ns::detail {

void EscapeTable::replace(char c, std::string_view with) {
    Entry& e = entries_[static_cast<unsigned char>(c) & 0x7F];
    e.length = static_cast<unsigned char>(std::min(with.size(), sizeof e.text));
    std::memcpy(e.text, with.data(), e.length);
    special_[static_cast<unsigned char>(c) & 0x7F] = e.length != 0;
}

void EscapeTable::refuse(char c) {
    entries_[static_cast<unsigned char>(c) & 0x7F].length = kRefused;
    special_[static_cast<unsigned char>(c) & 0x7F] = true;
}

std::size_t EscapeTable::plainPrefix(std::string_view text) const noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    // Eight bytes a step while none of them is special (counted, not tested one by one).
    for (; i + 8 <= n; i += 8) {
        if (special_[p[i]] + special_[p[i + 1]] + special_[p[i + 2]] + special_[p[i + 3]] + special_[p[i + 4]] +
                special_[p[i + 5]] + special_[p[i + 6]] + special_[p[i + 7]] !=
            0)
            break;
    }
    while (i < n && !special_[p[i]])
        ++i;
    return i;
}

const EscapeTable& EscapeTable::json(bool escapeSlash) {
    static const auto make = [](bool slash) {
        EscapeTable t;
        static constexpr char hex[] = "0123456789abcdef";
        for (int c = 0; c < 0x20; ++c) {
            const char code[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            t.replace(static_cast<char>(c), std::string_view(code, sizeof code));
        }
        t.replace('\b', "\\b");
        t.replace('\f', "\\f");
        t.replace('\n', "\\n");
        t.replace('\r', "\\r");
        t.replace('\t', "\\t");
        t.replace('"', "\\\"");
        t.replace('\\', "\\\\");
        if (slash) t.replace('/', "\\/");
        return t;
    };
    static const EscapeTable plain = make(false), slashed = make(true);
    return escapeSlash ? slashed : plain;
}

const EscapeTable& EscapeTable::xml() {
    static const EscapeTable table = [] {
        EscapeTable t;
        for (int c = 0; c < 0x20; ++c)
            if (c != '\t' && c != '\n') t.refuse(static_cast<char>(c));
        t.replace('\r', "&#13;");
        t.replace('&', "&amp;");
        t.replace('<', "&lt;");
        t.replace('>', "&gt;");
        return t;
    }();
    return table;
}

std::size_t appendEscaped(std::string& out, std::string_view text, const EscapeTable& table) {
    const std::size_t at = out.size();
    out.resize(at + EscapeTable::kLongest * text.size());
    std::size_t refused;
    const char* end = writeEscaped(out.data() + at, text, table, refused);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return refused;
}

char* writeEscaped(char* out, std::string_view text, const EscapeTable& table, std::size_t& refused) {
    for (std::size_t i = 0;;) {
        const std::size_t run = table.plainPrefix(text.substr(i));
        std::memcpy(out, text.data() + i, run);
        out += run;
        i += run;
        if (i == text.size()) {
            refused = std::string_view::npos;
            return out;
        }
        const EscapeTable::Entry& e = table.entries_[static_cast<unsigned char>(text[i])];
        if (e.length == EscapeTable::kRefused) {
            refused = i;
            return out;
        }
        std::memcpy(out, e.text, EscapeTable::kLongest); // whole, then only its length counts
        out += e.length;
        ++i;
    }
}

} // namespace ns::detail
