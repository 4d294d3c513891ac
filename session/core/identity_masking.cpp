#include "session/core/identity_masking.h"

#include <array>
#include <cstddef>

namespace ft {

namespace {

constexpr std::array<std::string_view, 4> kIdentityKeys = {"imei", "meid", "serial", "udid"};

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string maskedIdentifier(std::string_view value) {
    std::size_t characters = 0;
    for (char c : value)
        if (!isContinuationByte(c)) ++characters;
    if (characters <= 4) return std::string(characters, '*');
    // Keep the bytes of the last four characters.
    std::size_t keepFrom = value.size();
    for (std::size_t kept = 0; kept < 4;) {
        --keepFrom;
        if (!isContinuationByte(value[keepFrom])) ++kept;
    }
    return std::string(characters - 4, '*') + std::string(value.substr(keepFrom));
}

std::string maskedIdentityText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view piece = text.substr(start, end - start);
        const std::size_t eq = piece.find('=');
        std::string_view key = piece.substr(0, eq);
        // A key may carry what comes before the first pair ("qx://imei").
        if (const std::size_t slash = key.rfind('/'); slash != std::string_view::npos) key.remove_prefix(slash + 1);
        bool identity = false;
        for (std::string_view k : kIdentityKeys)
            identity = identity || key == k;
        if (identity && eq != std::string_view::npos) {
            out += piece.substr(0, eq + 1);
            out += maskedIdentifier(piece.substr(eq + 1));
        } else {
            out += piece;
        }
        if (end == text.size()) break;
        out += '&';
        start = end + 1;
    }
    return out;
}

} // namespace ft
