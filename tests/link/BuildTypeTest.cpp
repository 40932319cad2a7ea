// The centre's type text between the programs: what the server reports is
// read back as the same codes by the server and the console, and what the
// service dialog sends is what the server accepts.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "BuildType.h"

namespace kt64::test {
namespace {

using namespace kt64::link;

using Codes = std::array<std::uint8_t, 3>;

TEST(BuildType, EveryNamedCodeReadsBackAsWritten) {
    for (std::size_t s = 0; s < kSourceNames.size(); ++s)
        for (std::size_t r = 0; r < kRelayNames.size(); ++r)
            for (std::size_t i = 0; i < kInterfaceNames.size(); ++i) {
                const Codes written{codeOfEntry(s), codeOfEntry(r), codeOfEntry(i)};
                const std::string report = buildTypeText(0x64, written[0], written[1], written[2], 0x12);
                Codes read{0x55, 0x55, 0x55};
                codesOfReport(report, read);
                EXPECT_EQ(read, written) << report;
                EXPECT_EQ(readBuildType(report).relayOutputs, static_cast<int>(r)) << report;

                Codes set{0x55, 0x55, 0x55};
                const std::string toSet = buildTypeToSet(kSourceNames[s], kRelayNames[r], kInterfaceNames[i]);
                EXPECT_TRUE(codesOfTextToSet(toSet, set)) << toSet;
                EXPECT_EQ(set, written) << toSet;
            }
}

// Codes the server has no name for come back as its marks, which leave the
// codes read so far as they were. A dialog list left unselected sends an
// empty field, which the server skips: at the end that keeps the centre's
// code, before a named field it moves that field into its place and the
// text is refused, codes untouched.
TEST(BuildType, UnknownCodesAndEmptyFieldsKeepTheCodes) {
    struct Row {
        Codes reported;
        const char* source;
        const char* relays;
        const char* interface;
        bool accepted;
        Codes set;
    };
    const Row rows[] = {
        {{0x55, 0x11, 0x22}, "", "", "", true, {0x44, 0x11, 0x22}},
        {{0x22, 0x33, 0x01}, "GPS", "", "", true, {0x11, 0x00, 0x00}},
        {{0x00, 0x22, 0xFF}, "DCF", "2", "", true, {0x22, 0x22, 0x00}},
        {{0x00, 0x22, 0xFF}, "", "1", "485", false, {0x00, 0x22, 0x00}},
    };
    for (const auto& row : rows) {
        const std::string report = buildTypeText(0x64, row.reported[0], row.reported[1], row.reported[2], 0x10);
        Codes codes{0x44, 0x00, 0x00};
        codesOfReport(report, codes);
        const std::string toSet = buildTypeToSet(row.source, row.relays, row.interface);
        EXPECT_EQ(codesOfTextToSet(toSet, codes), row.accepted) << report << " then " << toSet;
        EXPECT_EQ(codes, row.set) << report << " then " << toSet;
    }
}

}  // namespace
}  // namespace kt64::test
