#include "platform/sim/run_text.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

namespace sim {

namespace {

bool isControlByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

struct HandedOverURLMasking {
    std::mutex lock;
    URLMasking masking;
};

HandedOverURLMasking& handedOverURLMasking() {
    static HandedOverURLMasking* shared = new HandedOverURLMasking; // immortal: read until the end
    return *shared;
}

} // namespace

void appendPrintable(std::string& out, std::string_view text) {
    for (;;) {
        const auto control = std::find_if(text.begin(), text.end(), isControlByte);
        out.append(text.begin(), control);
        if (control == text.end()) return;
        const char c = *control;
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            out += hex;
        }
        text.remove_prefix(static_cast<std::size_t>(control - text.begin()) + 1);
    }
}

std::string printableCut(std::string_view text, std::size_t limit) {
    std::string out;
    if (text.size() <= limit) {
        appendPrintable(out, text);
        return out;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end; // not inside a character
    appendPrintable(out, text.substr(0, end));
    return out + "...";
}

URLMasking setHandedOverURLMasking(URLMasking masking) {
    HandedOverURLMasking& shared = handedOverURLMasking();
    std::lock_guard g(shared.lock);
    return std::exchange(shared.masking, std::move(masking));
}

std::string maskedHandedOverURL(std::string_view url) {
    HandedOverURLMasking& shared = handedOverURLMasking();
    std::lock_guard g(shared.lock);
    return shared.masking ? shared.masking(url) : std::string(url);
}

} // namespace sim
