// Texts written for other programs to read, shared by the command-line
// tools: UTF-8 checked so that a byte that is no letter (a program file or
// a centre's text may hold any) never makes the output unreadable, and
// JSON string literals.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kt64::cli {

// The length of the UTF-8 sequence at text[i], or 0 when none starts there
// (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF,
// cut short).
std::size_t utf8SequenceLength(std::string_view text, std::size_t i);
// text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text);
// A JSON string literal with quotes; valid UTF-8 passes through, control
// characters are escaped.
std::string jsonString(std::string_view text);

}  // namespace kt64::cli
