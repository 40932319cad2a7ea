// The automation class's members: the validity rule, refusals with their
// codes and exact texts, which refusals are recorded, and what reaches the
// centre. The centre is the emulated one behind instant links (no device).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "HResult.h"
#include "OleDate.h"
#include "ServerRig.h"

namespace kt64::test {
namespace {

using server::AutomationObject;
using server::CallStatus;

DATE date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *makeDate(y, mo, d, h, mi, s); }

CallStatus lastRecordedError(ServerRig& rig) {
    return rig.device.access([](const server::DeviceRecord& r) {
        return CallStatus{r.device.ErrorCode, r.device.ErrorText};
    });
}

TEST(Automation, EveryValidityGetterFailsWithNoErrorBeforeTheFirstExchange) {
    ServerRig rig;  // worker not started: no exchange has ended
    const CallStatus noError{E_KT64_NOERROR, std::string(text::kNoError)};
    AutomationObject& s = rig.srv;
    const std::vector<std::pair<const char*, std::function<CallStatus()>>> getters{
        {"GetSyncTime", [&] { return s.GetSyncTime().status; }},
        {"GmtTime", [&] { return s.GetGmtTime().status; }},
        {"LocTime", [&] { return s.GetLocTime().status; }},
        {"LineTime", [&] { return s.GetLineTime().status; }},
        {"AlarmFlag", [&] { return s.GetAlarmFlag().status; }},
        {"LocalOffset", [&] { return s.GetLocalOffset().status; }},
        {"KeyTimeZL", [&] { return s.GetKeyTimeZL().status; }},
        {"ChangeTimeZL", [&] { return s.GetChangeTimeZL().status; }},
        {"KeyTimeLZ", [&] { return s.GetKeyTimeLZ().status; }},
        {"ChangeTimeLZ", [&] { return s.GetChangeTimeLZ().status; }},
        {"SerialNum", [&] { return s.GetSerialNum().status; }},
        {"BuildType", [&] { return s.GetBuildType().status; }},
        {"LineDigitType", [&] { return s.GetLineDigitType().status; }},
    };
    for (const auto& [name, get] : getters) EXPECT_EQ(get(), noError) << name;
    // SetFlag answers without the validity rule.
    EXPECT_TRUE(s.GetSetFlag().ok());
}

struct Refusal {
    const char* name;
    std::function<CallStatus(AutomationObject&)> call;
    HRESULT code;
    std::string_view text;
};

TEST(Automation, RefusedSettersReportRecordAndQueueNothing) {
    const std::vector<std::uint8_t> bytes(14, 0);
    const std::vector<Refusal> rows{
        {"GmtTime 2100-01-01", [](AutomationObject& s) { return s.PutGmtTime(date(2100, 1, 1)); }, E_KT64_FRAME,
         text::kBadSetData},
        {"GmtTime 1999-12-31 23:59:59",
         [](AutomationObject& s) { return s.PutGmtTime(date(1999, 12, 31, 23, 59, 59)); }, E_KT64_FRAME,
         text::kBadSetData},
        {"GmtTime invalid DATE", [](AutomationObject& s) { return s.PutGmtTime(1e12); }, E_KT64_FRAME,
         text::kBadSetData},
        {"SerialNum 12-3456", [](AutomationObject& s) { return s.PutSerialNum("12-3456"); }, E_KT64_FRAME,
         text::kBadDataDot},
        {"SerialNum 12/34567", [](AutomationObject& s) { return s.PutSerialNum("12/34567"); }, E_KT64_FRAME,
         text::kBadDataDot},
        {"BuildType fifth field", [](AutomationObject& s) { return s.PutBuildType("KT-64/GPS/1/232/X"); }, E_KT64_FRAME,
         text::kBadDataDot},
        {"BuildType lower case", [](AutomationObject& s) { return s.PutBuildType("kt-64/GPS/1/232"); }, E_KT64_FRAME,
         text::kBadDataDot},
        {"BuildType 3 relays", [](AutomationObject& s) { return s.PutBuildType("KT-64/GPS/3/232"); }, E_KT64_FRAME,
         text::kBadDataDot},
        {"BuildType empty", [](AutomationObject& s) { return s.PutBuildType(""); }, E_KT64_FRAME, text::kBadDataDot},
        {"Rozkazy VT_ARRAY|VT_VARIANT", [&](AutomationObject& s) { return s.PutRozkazy(0x200C, bytes); }, E_KT64_FRAME,
         text::kBadData},
        {"Rozkazy by reference", [&](AutomationObject& s) { return s.PutRozkazy(0x6011, bytes); }, E_KT64_FRAME,
         text::kBadData},
        // A list of the wrong length never reaches the centre, however long.
        {"Rozkazy 2904 bytes",
         [](AutomationObject& s) { return s.PutRozkazy(server::kVtArrayOfBytes, std::vector<std::uint8_t>(2904)); },
         E_INVALIDARG, "Lista rozkazów musi mieć 2905 bajtów, otrzymano 2904; centrali nic nie wysłano."},
        {"Rozkazy 4 MB",
         [](AutomationObject& s) { return s.PutRozkazy(server::kVtArrayOfBytes, std::vector<std::uint8_t>(4190000)); },
         E_INVALIDARG, "Lista rozkazów musi mieć 2905 bajtów, otrzymano 4190000; centrali nic nie wysłano."},
        {"Rozkazy get without download", [](AutomationObject& s) { return s.GetRozkazy().status; }, E_KT64_BUSY,
         text::kBusyDot},
    };
    for (const auto& row : rows) {
        ServerRig rig;
        const CallStatus expected{row.code, std::string(row.text)};
        EXPECT_EQ(row.call(rig.srv), expected) << row.name;
        EXPECT_TRUE(rig.device.queued().empty()) << row.name;
        // Recorded: a getter failing while the status is invalid reports it.
        EXPECT_EQ(rig.srv.GetGmtTime().status, expected) << row.name;
    }
}

TEST(Automation, AcceptedValuesReachTheCentre) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    AutomationObject& s = rig.srv;
    ASSERT_TRUE(s.PutSerialNum("12/3456").ok());
    ASSERT_TRUE(s.PutBuildType("KT-64/GPS/1/232").ok());
    ASSERT_TRUE(s.PutLineDigitType(0x11).ok());
    ASSERT_TRUE(s.PutLocTime(12345.0).ok());  // does nothing
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(s.GetSerialNum().value, "12/3456");
    EXPECT_EQ(s.GetBuildType().value, "KT-64/GPS/1/232 V1.2");
    EXPECT_EQ(s.GetLineDigitType().value, 0x11);

    // Fields left out keep the centre's current codes (relays 1, RS-232).
    ASSERT_TRUE(s.PutBuildType("KT-64/DCF").ok());
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(s.GetBuildType().value, "KT-64/DCF/1/232 V1.2");
}

TEST(Automation, GmtTimeAtTheEndOf2099IsSentAndARepeatSendsTheNewerValue) {
    ServerRig rig;
    // Queued before the worker runs: the second put finds the command waiting.
    EXPECT_TRUE(rig.srv.PutGmtTime(date(2099, 12, 31, 23, 59, 59)).ok());
    EXPECT_EQ(rig.srv.PutGmtTime(date(2030, 6, 1, 8, 0, 0)), (CallStatus{E_KT64_BUSY, std::string(text::kBusyDot)}));
    // A refused value does not replace the one the waiting command will send.
    EXPECT_FALSE(rig.srv.PutGmtTime(date(2100, 1, 1)).ok());
    EXPECT_EQ(rig.device.queued(), std::vector<std::int32_t>{server::W_SETTIME});
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.settle());
    const auto commands = rig.centre.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x22), 1);
    EXPECT_EQ(rig.srv.GetGmtTime().value, date(2030, 6, 1, 8, 0, 0));
}

// Every call is accepted, never refused as busy; while a frame waits, a new
// call changes the values it will carry instead of queueing another.
TEST(Automation, SetFlagWhileAFrameWaitsUpdatesItAndIgnoresTheLowBits) {
    auto settings = FakeCentre::defaultSettings();
    settings.analogOn = false;
    settings.digitalOn = false;
    settings.changeOn = false;
    ServerRig rig(settings);
    ASSERT_TRUE(rig.srv.PutSetFlag(0x04).ok());
    ASSERT_TRUE(rig.srv.PutSetFlag(0x0F).ok());
    EXPECT_EQ(rig.device.queued(), (std::vector<std::int32_t>{server::W_SETLINES}));
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.settle());
    const auto commands = rig.centre.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x77), 1);
    // Both lines on (the later call's values); the change-of-time switch is
    // not written through SetFlag.
    EXPECT_EQ(rig.srv.GetSetFlag().value & 0x0D, 0x0Cu);
}

TEST(Automation, LineTimeIsRefusedOnlyWhileTheAnalogueLineIsKnownToRun) {
    ServerRig rig;  // the centre's analogue line is on
    EXPECT_TRUE(rig.srv.PutLineTime(date(1900, 1, 1, 8, 30)).ok()) << "status invalid: accepted";
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.settle());
    const CallStatus lineOn{E_KT64_LINEON, std::string(text::kLineOn)};
    EXPECT_EQ(rig.srv.PutLineTime(date(1900, 1, 1, 9, 0)), lineOn);
    EXPECT_EQ(lastRecordedError(rig), lineOn);
}

TEST(Automation, ParameterPutsTravelTogetherInOneFrame) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.settle());
    const auto before = rig.centre.commands().size();
    ASSERT_TRUE(rig.srv.PutLocalOffset(-1.5 / 24).ok());
    ASSERT_TRUE(rig.srv.PutKeyTimeLZ(2).ok());
    ASSERT_TRUE(rig.srv.PutChangeTimeOn(0).ok());
    ASSERT_TRUE(rig.settle());
    auto commands = rig.centre.commands();
    EXPECT_EQ(std::count(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end(), 0x33), 1);
    EXPECT_NEAR(rig.srv.GetLocalOffset().value, -1.5 / 24, 1e-9);
    EXPECT_EQ(rig.srv.GetKeyTimeLZ().value, 2);
    EXPECT_EQ(rig.srv.GetSetFlag().value & 1, 0u);
    EXPECT_EQ(rig.device.access([](const server::DeviceRecord& r) { return r.device.PendingParams; }), 0u);
}

struct Readiness {
    const char* name;
    std::uint8_t source;
    std::array<std::uint8_t, 3> alarms;
    HRESULT code;
    std::string_view text;
};

TEST(Automation, SyncTimeReadinessIsAnsweredButNotRecorded) {
    const std::vector<Readiness> rows{
        {"no source, A_SET", 0x00, {0x81 | 0x40, 0, 0}, S_OK, ""},
        {"no source, A_SET and A_MANSET", 0x00, {0x81 | 0x40, 0x40, 0}, E_KT64_NOTREADY, text::kManualSetting},
        {"GPS, A_SET", 0x11, {0x81 | 0x40, 0, 0}, E_KT64_NOTREADY, text::kNeedsSetting},
        {"GPS, A_SYNC", 0x11, {0x81 | 0x02, 0, 0}, E_KT64_NOTREADY, text::kNotSynced240h},
        {"GPS, no alarm", 0x11, {0x81, 0, 0}, S_OK, ""},
    };
    for (const auto& row : rows) {
        auto settings = FakeCentre::defaultSettings();
        settings.source = row.source;
        settings.alarms = row.alarms;
        ServerRig rig(settings);
        ASSERT_TRUE(rig.startValid()) << row.name;
        const auto result = rig.srv.GetSyncTime();
        EXPECT_EQ(result.status, (CallStatus{row.code, std::string(row.text)})) << row.name;
        EXPECT_EQ(result.value, rig.srv.GetLocTime().value) << row.name;
        // The stamped form refuses exactly alike and stamps the frame.
        const auto stamped = rig.srv.GetSyncTimeStamped();
        EXPECT_EQ(stamped.status, result.status) << row.name;
        EXPECT_EQ(stamped.value.Time, result.value) << row.name;
        EXPECT_GE(stamped.value.FrameNo, 1u) << row.name;
        EXPECT_GT(stamped.value.FrameMonotonicNs, 0) << row.name;
        EXPECT_GE(stamped.value.ServerMonotonicNs, stamped.value.FrameMonotonicNs) << row.name;
        EXPECT_EQ(lastRecordedError(rig).code, E_KT64_NOERROR) << row.name;
    }
}

TEST(Automation, ComPortLivesInTheRegistryAndReopensThePort) {
    ServerRig rig;
    // Missing: 1, and 1 is written.
    EXPECT_EQ(rig.srv.GetComPort().value, 1u);
    ASSERT_TRUE(rig.startValid());
    EXPECT_EQ(rig.centre.lastPort(), 1);
    ASSERT_TRUE(rig.srv.SetComPort(7).ok());
    EXPECT_EQ(rig.srv.GetComPort().value, 7u);
    EXPECT_TRUE(eventually([&] { return rig.centre.lastPort() == 7; }));
    EXPECT_TRUE(eventually([&] { return rig.srv.GetGmtTime().ok(); }));
}

TEST(Automation, RegistryFailuresOfThePortMembersAreNotRecorded) {
    ServerRig rig;
    ScopedEnv broken("KT64_REGISTRY", "/proc/no-such-dir/registry.db");
    EXPECT_EQ(rig.srv.SetComPort(3), (CallStatus{E_KT64_REGISTRY, std::string(text::kRegistryOpen)}));
    EXPECT_EQ(rig.srv.GetComPort().status, (CallStatus{E_KT64_PORT, std::string(text::kRegistryRead)}));
    EXPECT_EQ(lastRecordedError(rig).code, E_KT64_NOERROR);
    EXPECT_TRUE(rig.device.queued().empty());
}

TEST(Automation, WaitForDeviceReadTimesOutWithTheWaitText) {
    ServerRig rig;  // no worker: nothing signals
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rig.srv.WaitForDeviceRead(), (CallStatus{E_KT64_REGISTRY, std::string(text::kWaitFailed)}));
    EXPECT_GE(secondsSince(start), 4.5);
    EXPECT_EQ(lastRecordedError(rig).code, E_KT64_NOERROR);
}

struct SerialCase {
    const char* text;
    bool valid;
    std::array<std::uint8_t, 3> bytes;  // starting from AA BB CC
};

TEST(Automation, SerialTextGroupsAreReadUpToTheirFirstNonHexCharacter) {
    const std::vector<SerialCase> rows{
        {"12/3456", true, {0x12, 0x34, 0x56}},
        {"0a/1B2c", true, {0x0A, 0x1B, 0x2C}},
        {"1Z/3456", true, {0x01, 0x34, 0x56}},
        {"Z1/34G6", true, {0xAA, 0x34, 0xCC}},
        {"12/3456 ", false, {0xAA, 0xBB, 0xCC}},
        {"12\\3456", false, {0xAA, 0xBB, 0xCC}},
        {"ą2/3456", true, {0xAA, 0x34, 0x56}},
        // A character beyond U+FFFF is two characters of a client's text.
        {"😀/3456", true, {0xAA, 0x34, 0x56}},
        {"😀2/3456", false, {0xAA, 0xBB, 0xCC}},
        {"12/34😀", true, {0x12, 0x34, 0xCC}},
    };
    for (const auto& row : rows) {
        std::array<std::uint8_t, 3> bytes{0xAA, 0xBB, 0xCC};
        EXPECT_EQ(server::parseSerialText(row.text, bytes), row.valid) << row.text;
        EXPECT_EQ(bytes, row.bytes) << row.text;
    }
}

}  // namespace
}  // namespace kt64::test
