#pragma once
// The device's kernel tables, read as the system library's sysctl reads them: code that would call
// ::sysctl calls sim::sysctl, with the same arguments and the same answers.
//
// Names answered:
//   {1, 14, 0, 0}              the process table: one 648-byte record per process, the pid
//                              (int32) at byte 40 and the NUL-terminated command name (at most
//                              16 characters) at byte 243. A profile's "processes" count gives
//                              pids 1 and up named "process1", ...; on the host every /proc/<pid>
//                              with its comm.
//   {4, 17, 0, 18, 3, index}   the interface's link message: a 112-byte message header, then its
//                              link-level address: family 18 at byte 113, the index at 114, the
//                              name's length at byte 117 and the address length (6) at 118, the
//                              name from byte 120, then the six address bytes (zero when the
//                              interface has none). Indexes as sim::if_nametoindex gives them.
//
// A read without a buffer answers the size; a buffer smaller than the answer fails with ENOMEM and
// writes nothing. An unknown name fails with ENOENT, an unknown index with ENXIO, and a new value
// with EPERM. The kernel hook (kernel_hook.h) sees every call first.

#include <cstddef>

namespace sim {

// Kernel name parts.
inline constexpr int kCtlKern = 1, kCtlNet = 4;
inline constexpr int kKernProc = 14, kKernProcAll = 0;
inline constexpr int kPfRoute = 17, kNetRtIfList = 3, kAfLink = 18;

// The link message's layout.
inline constexpr std::size_t kInterfaceMessageHeaderSize = 112;
inline constexpr std::size_t kLinkNameLengthOffset = 117;
inline constexpr std::size_t kLinkNameOffset = 120;
// The process record's layout.
inline constexpr std::size_t kProcessRecordSize = 648;
inline constexpr std::size_t kProcessIdOffset = 40;
inline constexpr std::size_t kProcessNameOffset = 243;
inline constexpr std::size_t kProcessNameMax = 16;

// 0, or -1 with errno set.
int sysctl(const int* name, unsigned nameLength, void* old, std::size_t* oldLength, const void* newValue,
           std::size_t newLength);

} // namespace sim
