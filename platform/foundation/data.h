#pragma once
// ns::Data and ns::MutableData: a byte buffer. Data is immutable (its copy is itself);
// MutableData grows, shrinks and edits its bytes in place and is not thread-safe.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

class MutableData;

class Data : public rt::Object {
    RT_CLASS(Data)
public:
    static rt::Ref<Data> make(const void* bytes, std::size_t length);
    static rt::Ref<Data> make(std::string_view bytes);
    static rt::Ref<Data> make(std::vector<std::uint8_t> bytes);
    // Bytes from base64 text in whole groups of four (white space skipped); nil when it is not.
    static rt::Ref<Data> withBase64EncodedString(std::string_view text);

    // Null only when the data is empty.
    const std::uint8_t* bytes() const noexcept { return bytes_.empty() ? nullptr : bytes_.data(); }
    std::size_t length() const noexcept { return bytes_.size(); }
    std::string_view view() const noexcept {
        return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
    }
    // The bytes as base64 text, without line breaks.
    std::string base64EncodedString() const;

    // Throws "NSRangeException" when the range does not lie within the data.
    rt::Ref<Data> subdataWithRange(Range range) const;
    bool isEqualToData(const Data& other) const noexcept { return bytes_ == other.bytes_; }

    // "<0a0b0c0d 0e>": hex, in groups of four bytes.
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;
    rt::Ref<MutableData> mutableCopy() const;

protected:
    Data() = default;
    explicit Data(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    void checkRange(Range range) const;

    std::vector<std::uint8_t> bytes_;
};

class MutableData final : public Data {
    RT_CLASS(MutableData)
public:
    static rt::Ref<MutableData> make();
    static rt::Ref<MutableData> make(const void* bytes, std::size_t length);
    static rt::Ref<MutableData> make(std::string_view bytes);
    static rt::Ref<MutableData> make(std::vector<std::uint8_t> bytes);
    // `length` zero bytes.
    static rt::Ref<MutableData> withLength(std::size_t length);

    std::uint8_t* mutableBytes() noexcept { return bytes_.empty() ? nullptr : bytes_.data(); }

    void appendBytes(const void* bytes, std::size_t length);
    void appendData(const Data& other);
    // Truncates, or extends with zero bytes.
    void setLength(std::size_t length);
    void increaseLengthBy(std::size_t extra) { setLength(length() + extra); }
    // Zeroes the bytes in the range, extending the data when the range runs past its end. The
    // range must start within the data (its end included), else "NSRangeException" is thrown.
    void resetBytesInRange(Range range);
    // Replaces the bytes in `range` with `length` bytes, growing or shrinking the data; the part
    // of the range past the end replaces nothing. The range must start within the data.
    void replaceBytesInRange(Range range, const void* bytes, std::size_t length);
    void replaceBytesInRange(Range range, const Data& with) {
        replaceBytesInRange(range, with.bytes(), with.length());
    }
    void setData(const Data& other);

    rt::Id copy() const override;

private:
    MutableData() = default;
    explicit MutableData(std::vector<std::uint8_t> bytes) : Data(std::move(bytes)) {}
};

} // namespace ns
