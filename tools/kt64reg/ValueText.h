// Text forms of registry values for kt64reg: parsing what an administrator
// types (type names, DWORDs in decimal or 0x hex, binary as hex bytes) and
// showing stored values. Pure functions; a parse failure is a
// ValueTextError with the message shown to the user.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Registry.h"

namespace kt64::regtool {

class ValueTextError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "dword", "sz", "expand_sz", "binary", or the full "REG_..." names, any case.
std::optional<reg::ValueType> parseTypeName(std::string_view text);

// Decimal 0..4294967295 or 0x/0X followed by hex digits up to 0xffffffff.
std::uint32_t parseDword(std::string_view text);

// Hex bytes, optionally separated by spaces, commas, colons or dashes:
// "01 0a ff", "01,0a,ff", "010aff". Each group must have an even number of
// digits. An empty text is zero bytes.
std::vector<std::uint8_t> parseHexBytes(std::string_view text);

// The Value that `kt64reg set ... TYPE TEXT` stores.
reg::Value parseValue(reg::ValueType type, std::string_view text);

// Lower-case hex bytes separated by spaces: "01 0a ff".
std::string formatHexBytes(std::span<const std::uint8_t> data);

// A value as `get` prints it: strings as stored, a DWORD in decimal, binary
// as hex bytes. A REG_DWORD whose data is not 4 bytes shows as hex bytes.
std::string formatData(const reg::Value& value);

// A value as `list` prints it: "0x00000003 (3)" for a DWORD, otherwise
// formatData.
std::string formatListedData(const reg::Value& value);

}  // namespace kt64::regtool
