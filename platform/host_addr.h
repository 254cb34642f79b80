// This computer's own IPv4 address, as the Wing search wants it: the address of the first
// interface on a 255.255.255.0 subnet. POSIX reads the interface list (getifaddrs);
// Windows reads the text that "ipconfig" prints (ipconfig_text.h).
#pragma once

/// The IPv4 address of the first interface whose subnet mask is 255.255.255.0, as the
/// bytes of an IPv4 socket address (first octet in the lowest-addressed byte) held in an
/// int. 0 when there is no such interface or the interface list cannot be read.
int hostAddressOn24BitSubnet();
