#include "platform/foundation/text_escaping.h"

#include <algorithm>
#include <cstring>

namespace ns::detail {

void EscapeTable::replace(char c, std::string_view with) {
    Entry& e = entries_[static_cast<unsigned char>(c) & 0x7F];
    e.length = static_cast<unsigned char>(std::min(with.size(), sizeof e.text));
    std::memcpy(e.text, with.data(), e.length);
}

void EscapeTable::refuse(char c) {
    entries_[static_cast<unsigned char>(c) & 0x7F].length = kRefused;
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
    std::size_t run = 0; // start of the bytes not yet appended
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) continue;
        const EscapeTable::Entry& e = table.entries_[c];
        if (e.length == 0) continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        if (e.length == EscapeTable::kRefused) return i;
        out.append(e.text, e.length);
    }
    out.append(text.data() + run, text.size() - run);
    return std::string_view::npos;
}

} // namespace ns::detail
