#pragma once
// ns::IndexPath ("NSIndexPath"): an immutable (section, row) pair, the address of a table row.

#include <cstddef>
#include <string>

#include "platform/runtime/object.h"

namespace ns {

class IndexPath : public rt::Object {
    RT_CLASS(IndexPath)
public:
    static rt::Ref<IndexPath> indexPathForRowInSection(long row, long section);

    long row() const noexcept { return row_; }
    long section() const noexcept { return section_; }
    // The number of indexes: a row and its section.
    std::size_t length() const noexcept { return 2; }

    // -1, 0 or 1: by section, then by row.
    int compare(const IndexPath& other) const noexcept;

    // "<NSIndexPath: 0x...> {length = 2, path = <section> - <row>}"
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

private:
    IndexPath(long row, long section) : row_(row), section_(section) {}

    long row_;
    long section_;
};

} // namespace ns
