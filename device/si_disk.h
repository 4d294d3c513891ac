#pragma once
// si::Disk ("SIDisk"): the storage of the file system holding the home directory, in bytes and as
// text. Class methods only; each asks afresh. Any thread.

#include <cstdint>

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace si {

class Disk : public rt::Object {
    RT_CLASS(Disk)
public:
    static rt::Ref<ns::String> totalDiskSpace();
    static rt::Ref<ns::String> freeDiskSpace();
    static rt::Ref<ns::String> usedDiskSpace();
    // Bytes; 0 when the file system cannot be read.
    static double totalDiskSpaceInBytes();
    static double freeDiskSpaceInBytes();
    static double usedDiskSpaceInBytes();
    static double numberOfNodes();
    // "1.50 GB" from 2^30 bytes up, "1.00 MB" from 2^20, else "1023.00 bytes".
    static rt::Ref<ns::String> memoryFormatter(std::int64_t bytes);

private:
    Disk() = default;
};

} // namespace si
