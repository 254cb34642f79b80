// Command text -> OSC packet: the syntax web pages write commands in.
//
//   <address> ,<tags> <arg> <arg> ...     e.g.  /ch/01/config/name ,s 'Lead Vox'
#pragma once

#include <span>

/// Encodes the command `text` (NUL-terminated, rewritten in place) into `packet` from its
/// first byte. Returns the packet length (a multiple of 4); -1 when a blob's work area
/// cannot be allocated; -2 when the packet would not fit `packet` (nothing is written
/// past it). Blobs are converted straight into the packet, so this parser takes no work
/// area and does not return -1 today; callers still treat it as a failure.
///
/// An 'i' or 'f' argument that is missing or does not read as a number gives 0, never
/// a value from an earlier request. Numbers read as sscanf "%d" and "%f" read them
/// ("%d" kept to the low 32 bits of a long; "%f" takes nan, inf and hex forms too), and
/// each passes through the scratch word `endian` on its way into the packet.
int wCparse(std::span<char> packet, char* text);

/// Converts the hex digit pairs of `text` from `start` up to `length` into bytes at
/// `output`; blanks where a pair would begin are skipped. Returns the bytes made.
int XprepBlob(const char* text, int length, int start, unsigned char* output);

/// The value of one hex digit; 0 for any other character.
int Xnibble(char c);
