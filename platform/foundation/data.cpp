#include "platform/foundation/data.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "platform/foundation/exception.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Data, "NSData", rt::Object)
RT_DEFINE_CLASS(MutableData, "NSMutableData", Data)

namespace {

// Hashing looks at this many leading bytes (and the length): large data hashes in constant time.
constexpr std::size_t kHashedBytes = 80;

std::vector<std::uint8_t> toVector(const void* bytes, std::size_t length) {
    if (!bytes || !length) return {};
    auto* p = static_cast<const std::uint8_t*>(bytes);
    return std::vector<std::uint8_t>(p, p + length);
}

std::string rangeText(Range r) {
    return "{" + std::to_string(r.location) + ", " + std::to_string(r.length) + "}";
}

} // namespace

// ---- Data -----------------------------------------------------------------------------------

rt::Ref<Data> Data::make(const void* bytes, std::size_t length) {
    return rt::make<Data>(toVector(bytes, length));
}

rt::Ref<Data> Data::make(std::string_view bytes) {
    return make(bytes.data(), bytes.size());
}

rt::Ref<Data> Data::make(std::vector<std::uint8_t> bytes) {
    return rt::make<Data>(std::move(bytes));
}

void Data::checkRange(Range range) const {
    if (range.location > bytes_.size() || range.length > bytes_.size() - range.location)
        raise(RangeException,
              "range " + rangeText(range) + " exceeds data length " + std::to_string(bytes_.size()));
}

rt::Ref<Data> Data::subdataWithRange(Range range) const {
    checkRange(range);
    auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(range.location);
    return rt::make<Data>(
        std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(range.length)));
}

std::string Data::description() const {
    static constexpr char hex[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 + bytes_.size() * 2 + bytes_.size() / 4);
    s += '<';
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i && i % 4 == 0) s += ' ';
        s += hex[bytes_[i] >> 4];
        s += hex[bytes_[i] & 0xf];
    }
    s += '>';
    return s;
}

bool Data::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* d = dynamic_cast<const Data*>(other);
    return d && isEqualToData(*d);
}

std::size_t Data::hash() const {
    std::string_view head = view().substr(0, kHashedBytes);
    return std::hash<std::string_view>()(head) ^ (bytes_.size() * 0x9e3779b97f4a7c15ull);
}

rt::Ref<MutableData> Data::mutableCopy() const {
    return MutableData::make(bytes_);
}

// ---- MutableData ----------------------------------------------------------------------------

rt::Ref<MutableData> MutableData::make() {
    return rt::make<MutableData>();
}

rt::Ref<MutableData> MutableData::make(const void* bytes, std::size_t length) {
    return rt::make<MutableData>(toVector(bytes, length));
}

rt::Ref<MutableData> MutableData::make(std::string_view bytes) {
    return make(bytes.data(), bytes.size());
}

rt::Ref<MutableData> MutableData::make(std::vector<std::uint8_t> bytes) {
    return rt::make<MutableData>(std::move(bytes));
}

rt::Ref<MutableData> MutableData::withLength(std::size_t length) {
    return rt::make<MutableData>(std::vector<std::uint8_t>(length));
}

void MutableData::appendBytes(const void* bytes, std::size_t length) {
    if (!bytes || !length) return;
    auto* p = static_cast<const std::uint8_t*>(bytes);
    bytes_.insert(bytes_.end(), p, p + length);
}

void MutableData::appendData(const Data& other) {
    if (&other == this) {
        bytes_.reserve(bytes_.size() * 2);
        bytes_.insert(bytes_.end(), bytes_.begin(), bytes_.end());
        return;
    }
    appendBytes(other.bytes(), other.length());
}

void MutableData::setLength(std::size_t length) {
    bytes_.resize(length);
}

void MutableData::resetBytesInRange(Range range) {
    if (range.location > bytes_.size() || range.length > SIZE_MAX - range.location)
        raise(RangeException,
              "range " + rangeText(range) + " exceeds data length " + std::to_string(bytes_.size()));
    if (range.max() > bytes_.size()) bytes_.resize(range.max());
    std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(range.location), range.length, std::uint8_t{0});
}

void MutableData::replaceBytesInRange(Range range, const void* bytes, std::size_t length) {
    if (range.location > bytes_.size())
        raise(RangeException,
              "range " + rangeText(range) + " exceeds data length " + std::to_string(bytes_.size()));
    if (length && !bytes) raise(InvalidArgumentException, "null bytes with a non-zero length");
    // The replacement may point into our own bytes: take a copy before moving anything.
    std::vector<std::uint8_t> with = toVector(bytes, length);
    std::size_t replaced = std::min(range.length, bytes_.size() - range.location);
    auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(range.location);
    auto common = std::min(replaced, with.size());
    std::copy_n(with.begin(), common, first);
    if (replaced > with.size()) {
        bytes_.erase(first + static_cast<std::ptrdiff_t>(common),
                     first + static_cast<std::ptrdiff_t>(replaced));
    } else if (with.size() > replaced) {
        bytes_.insert(first + static_cast<std::ptrdiff_t>(common),
                      with.begin() + static_cast<std::ptrdiff_t>(common), with.end());
    }
}

void MutableData::setData(const Data& other) {
    if (&other != this) bytes_.assign(other.view().begin(), other.view().end());
}

rt::Id MutableData::copy() const {
    return rt::Id(Data::make(bytes_));
}

namespace {
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
} // namespace

std::string Data::base64EncodedString() const {
    const auto* p = static_cast<const std::uint8_t*>(bytes());
    const std::size_t n = length();
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = unsigned(p[i]) << 16 | unsigned(p[i + 1]) << 8 | p[i + 2];
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (i < n) {
        const unsigned v = unsigned(p[i]) << 16 | (i + 1 < n ? unsigned(p[i + 1]) << 8 : 0u);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < n ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

rt::Ref<Data> Data::withBase64EncodedString(std::string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    unsigned acc = 0, bits = 0, sextets = 0, pads = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            ++pads;
            continue;
        }
        if (pads) return nullptr; // padding ends the text
        const char* at = std::char_traits<char>::find(kBase64, 64, c);
        if (!at) return nullptr;
        acc = (acc << 6) | static_cast<unsigned>(at - kBase64);
        bits += 6;
        ++sextets;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
        }
    }
    // Whole groups of four: the last one padded to length.
    if (pads > 2 || (sextets + pads) % 4 != 0 || (pads && sextets % 4 + pads != 4)) return nullptr;
    return make(std::move(out));
}

} // namespace ns
