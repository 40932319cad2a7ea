// Each fault the centre can show, how long it lasts, and its text form.
#include <gtest/gtest.h>

#include "CentreTestSupport.h"

namespace kt64::test {
using namespace kt64::sim;
namespace {

using namespace std::chrono_literals;
using link::buildFrame;

link::Bytes writeRecord(int index, std::uint8_t fill) {
    link::Bytes data{static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
    data.insert(data.end(), 7, fill);
    return buildFrame(0xDD, data);
}

link::Bytes readRecord(int index) {
    return buildFrame(0xEE, link::Bytes{static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)});
}

// For each fault, the clean answer and the faulty one to the same request.
TEST(CentreFault, EachFaultChangesTheAnswerAsDocumented) {
    struct Row {
        const char* fault;
        link::Bytes request;
        std::function<void(const link::Bytes& clean, const Answer& got)> check;
    };
    auto corrupted = [](const link::Bytes& clean, const Answer& got) {
        EXPECT_EQ(got.bytes.size(), clean.size());
        EXPECT_NE(link::xorOf(got.bytes), 0);
        EXPECT_TRUE(std::equal(clean.begin(), clean.end() - 1, got.bytes.begin()));
    };
    auto shortened = [](const link::Bytes& clean, const Answer& got) {
        EXPECT_EQ(hexOf(got.bytes), hexOf(link::ByteSpan(clean).first(clean.size() - 1)));
    };
    auto marker = [](std::size_t at, std::uint8_t value) {
        return [=](const link::Bytes& clean, const Answer& got) {
            ASSERT_EQ(got.bytes.size(), clean.size());
            EXPECT_EQ(link::xorOf(got.bytes), 0);
            EXPECT_EQ(got.bytes[at], value);
            for (std::size_t i = 0; i + 1 < clean.size(); ++i) {
                if (i != at) {
                    EXPECT_EQ(got.bytes[i], clean[i]) << "byte " << i;
                }
            }
        };
    };
    const auto status = hexBytes("1B 11 00 0A");
    const std::vector<Row> rows = {
        {"checksum", status, corrupted},
        {"checksum", writeRecord(3, 0x55), corrupted},
        {"checksum", readRecord(3), corrupted},
        {"marker", status, marker(27, 0x00)},
        {"marker", writeRecord(3, 0x55), marker(2, 0x03)},
        {"marker", readRecord(3), marker(2, 0x08)},
        {"short", status, shortened},
        {"short", writeRecord(3, 0x55), shortened},
        {"short", readRecord(3), shortened},
        {"late 300", status,
         [](const link::Bytes& clean, const Answer& got) {
             EXPECT_EQ(got.bytes, clean);
             EXPECT_EQ(got.delay, 300ms);
         }},
        {"ack-corrupt 3", writeRecord(3, 0x55), corrupted},
        {"ack-corrupt 3", readRecord(3), corrupted},
        {"ack-corrupt 3", writeRecord(4, 0x55),
         [](const link::Bytes& clean, const Answer& got) { EXPECT_EQ(got.bytes, clean); }},
        {"ack-refuse 3", status, [](const link::Bytes& clean, const Answer& got) { EXPECT_EQ(got.bytes, clean); }},
        {"garbage 3", readRecord(3),
         [](const link::Bytes& clean, const Answer& got) {
             ASSERT_EQ(got.bytes.size(), clean.size() + 3);
             EXPECT_EQ(link::Bytes(got.bytes.begin(), got.bytes.begin() + 3), link::Bytes(3, 0x55));
             EXPECT_EQ(link::Bytes(got.bytes.begin() + 3, got.bytes.end()), clean);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.fault) + " on " + hexOf(row.request));
        CentreOnManualClock clean, faulty;
        faulty.centre.setFault(*parseFault(row.fault));
        const auto expected = clean.centre.receive(row.request);
        const auto got = faulty.centre.receive(row.request);
        ASSERT_EQ(expected.size(), 1u);
        ASSERT_EQ(got.size(), 1u);
        row.check(expected[0].bytes, got[0]);
    }
}

TEST(CentreFault, SilentCentreNeitherAnswersNorApplies) {
    CentreOnManualClock c;
    c.centre.setFault(*parseFault("silent"));
    EXPECT_TRUE(c.centre.receive(hexBytes("1B 88 03 11 30 08 B9")).empty());
    EXPECT_TRUE(c.centre.receive(writeRecord(0, 0x77)).empty());
    c.centre.setFault({});
    EXPECT_EQ(c.status()[17], 0x34);  // line time not set
    EXPECT_EQ(c.centre.image()[0], 0x00);
}

TEST(CentreFault, RefusedRecordIsNeitherStoredNorAnsweredInEveryTransfer) {
    CentreOnManualClock c;
    c.centre.setFault(*parseFault("ack-refuse 2"));
    for (int transfer = 0; transfer < 2; ++transfer) {
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(c.centre.receive(writeRecord(r, 0x11)).size(), r == 2 ? 0u : 1u) << "record " << r;
        EXPECT_TRUE(c.centre.receive(readRecord(2)).empty());
        EXPECT_EQ(c.centre.receive(readRecord(1)).size(), 1u);
    }
    const auto image = c.centre.image();
    EXPECT_EQ(image[13], 0x11);
    EXPECT_EQ(image[14], 0x00);  // record 2 begins at byte 14
    EXPECT_EQ(image[21], 0x11);
}

TEST(CentreFault, CountedFaultsEndByThemselves) {
    CentreOnManualClock c;
    c.centre.setFault(*parseFault("checksum times 2"));
    EXPECT_NE(link::xorOf(c.status()), 0);
    EXPECT_NE(link::xorOf(c.status()), 0);
    EXPECT_EQ(link::xorOf(c.status()), 0);
    EXPECT_EQ(c.centre.fault().kind, FaultKind::None);

    // Record faults count occurrences of their record, not answers.
    c.centre.setFault(*parseFault("ack-corrupt 1 once"));
    EXPECT_EQ(link::xorOf(c.exchange(hexOf(writeRecord(0, 1)))), 0);
    EXPECT_EQ(link::xorOf(c.status()), 0);
    EXPECT_NE(link::xorOf(c.exchange(hexOf(writeRecord(1, 1)))), 0);
    EXPECT_EQ(link::xorOf(c.exchange(hexOf(writeRecord(1, 1)))), 0);

    c.centre.setFault(*parseFault("silent once"));
    EXPECT_TRUE(c.status().empty());
    EXPECT_EQ(c.status().size(), 50u);
}

TEST(CentreFault, TextFormRoundTripsAndBadTextIsRefused) {
    for (const char* text :
         {"none", "silent", "late 300", "checksum", "marker", "short", "ack-refuse 0", "ack-corrupt 414",
          "checksum once", "late 0 times 3", "ack-refuse 7 once", "garbage 3 once"}) {
        const auto f = parseFault(text);
        ASSERT_TRUE(f) << text;
        EXPECT_EQ(describeFault(*f), text);
    }
    for (const char* text : {"", "bogus", "late", "late -1", "late 60001", "late 3x", "ack-refuse", "ack-corrupt 65536",
                             "checksum twice", "checksum times 0", "checksum times", "none once", "short 4",
                             "late 5 once extra", "garbage", "garbage 4097"}) {
        std::string why;
        EXPECT_FALSE(parseFault(text, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

}  // namespace
}  // namespace kt64::test
