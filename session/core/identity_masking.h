#pragma once
// Device identifiers (imei, meid, serial, udid) never reach the log in full: every character but
// the last four becomes "*", and a value of four characters or fewer is masked whole.

#include <string>
#include <string_view>

namespace ft {

// "356938035643809" -> "***********3809"; "ABCD" -> "****". Counts characters, not bytes.
std::string maskedIdentifier(std::string_view value);
// The text with the value of every imei, meid, serial and udid pair of a "k=v&k=v" text masked
// ("qx://imei=356938035643809&serial=F2LXXXX" -> "qx://imei=***********3809&serial=***XXXX").
std::string maskedIdentityText(std::string_view text);

} // namespace ft
