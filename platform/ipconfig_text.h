// The rule that finds this computer's address in the text of the Windows command
// "ipconfig". Pure, so that it is compiled and tested on every platform.
#pragma once

#include <string_view>

/// Reads `output` line by line (lines end at '\n'). The first line that contains
/// "255.255.255.0" and whose previous line contains "IPv4 Address" and, after its first
/// ": ", four numbers in the form %d.%d.%d.%d gives the result a + b*2^8 + c*2^16 + d*2^24
/// (the address as the bytes of an IPv4 socket address, held in an int). Labels match
/// literally and case-sensitively; the previous line is judged by its first 127
/// characters, as the command's reader keeps them. 0 when no pair of lines matches.
int ipconfigAddress(std::string_view output);
