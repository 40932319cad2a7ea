// kt64ctl: its command line and value texts, its commands run against the
// fake server, and the program itself end to end.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <array>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "ConnectionCause.h"
#include "CtlCommand.h"
#include "CtlRunner.h"
#include "CtlText.h"
#include "FleetStatus.h"
#include "FakeKt64Srv.h"
#include "Loopback.h"
#include "TestEnvironment.h"
#include "UploadInterrupt.h"
#include "WrongFiles.h"

namespace kt64::test {
namespace {

using namespace std::chrono_literals;
using ctl::Verb;

ctl::Command parse(std::initializer_list<std::string_view> args) {
    std::vector<std::string_view> list(args);
    return ctl::parseCommandLine(list);
}

DATE date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return makeDate(y, mo, d, h, mi, s).value(); }

TEST(CtlCommandTest, CommandLinesParse) {
    auto cmd = parse({});
    EXPECT_EQ(cmd.verb, Verb::Status);
    EXPECT_EQ(cmd.computer, "");

    cmd = parse({"--json", "status", "--computer", "serwer:7000"});
    EXPECT_EQ(cmd.verb, Verb::Status);
    EXPECT_TRUE(cmd.json);
    EXPECT_EQ(cmd.computer, "serwer:7000");
    EXPECT_EQ(parse({"--computer=zegar", "pause"}).computer, "zegar");
    EXPECT_FALSE(ctl::readsManySites(parse({"--computer=zegar", "pause"})));
    cmd = parse({"--computer", "a", "--json", "--computer", "b:7000"});
    EXPECT_EQ(cmd.computers, (std::vector<std::string>{"a", "b:7000"}));
    EXPECT_TRUE(ctl::readsManySites(cmd) && cmd.json && cmd.verb == Verb::Status);
    EXPECT_TRUE(ctl::readsManySites(parse({"--computers", "sites.txt", "status"})));
    EXPECT_EQ(parse({"status", "--help"}).verb, Verb::Help);

    EXPECT_TRUE(parse({"set-time", "now"}).now);
    EXPECT_EQ(parse({"set-time", "2099-12-31 23:59:59"}).gmtTime, date(2099, 12, 31, 23, 59, 59));
    EXPECT_EQ(parse({"set-time", "2024-05-17", "12:34"}).gmtTime, date(2024, 5, 17, 12, 34));
    EXPECT_EQ(parse({"set-time", "2024-05-17T12:34:56"}).gmtTime, date(2024, 5, 17, 12, 34, 56));

    cmd = parse({"lines", "--digital", "off"});
    EXPECT_FALSE(cmd.analog);
    EXPECT_EQ(cmd.digital, false);
    EXPECT_EQ(parse({"lines", "--analog", "on", "--digital", "on"}).analog, true);

    EXPECT_EQ(parse({"line-time", "08:30"}).lineTime, date(1900, 1, 1, 8, 30));
    EXPECT_DOUBLE_EQ(parse({"offset", "-5.5"}).offsetDays, -5.5 / 24);
    EXPECT_DOUBLE_EQ(parse({"offset", "+05:45"}).offsetDays, (5 * 60 + 45) / 1440.0);

    cmd = parse({"change-rule", "on", "--zl", "last", "25.03", "2", "--lz", "4", "25.10", "3"});
    EXPECT_EQ(cmd.changeOn, true);
    ASSERT_TRUE(cmd.winterToSummer && cmd.summerToWinter);
    EXPECT_EQ(cmd.winterToSummer->key, 0u);
    EXPECT_EQ(cmd.winterToSummer->date, date(1900, 3, 25, 2));
    EXPECT_EQ(cmd.summerToWinter->key, 4u);
    EXPECT_EQ(cmd.summerToWinter->date, date(1900, 10, 25, 3));

    EXPECT_EQ(parse({"digital-type", "ggmmss"}).digitalType, 17u);
    EXPECT_EQ(parse({"digital-type", "D_GGMMSSDDMMYY"}).digitalType, 34u);
    EXPECT_EQ(parse({"wait", "3"}).count, 3u);
    cmd = parse({"watch"});
    EXPECT_EQ(cmd.verb, ctl::Verb::Watch);
    EXPECT_EQ(cmd.count, 0u);  // until interrupted
    EXPECT_EQ(cmd.intervalMs, 300u);
    cmd = parse({"watch", "500", "2"});
    EXPECT_EQ(cmd.intervalMs, 500u);
    EXPECT_EQ(cmd.count, 2u);
    EXPECT_FALSE(parse({"port"}).port);
    EXPECT_EQ(parse({"port", "3"}).port, 3u);
    EXPECT_EQ(parse({"upload", "a.bin"}).file, "a.bin");
}

TEST(CtlCommandTest, WrongCommandLinesAreRefused) {
    const std::vector<std::vector<std::string_view>> rows = {
        {"frobnicate"},
        {"status", "extra"},
        {"--computer"},
        {"set-time"},
        {"set-time", "2023-02-29 10:00"},  // no such day
        {"set-time", "2024-05-17 24:00"},
        {"set-time", "yesterday"},
        {"lines"},
        {"lines", "--analog", "maybe"},
        {"line-time", "8"},
        {"line-time", "08:60"},
        {"offset", "24"},
        {"offset", "+1:3"},
        {"offset", "0.01"},  // not whole minutes
        {"offset", "east"},
        {"change-rule"},
        {"change-rule", "--zl", "5", "25.03", "2"},
        {"change-rule", "--zl", "last", "31.04", "2"},
        {"change-rule", "--zl", "last", "29.02", "2"},   // 1900 has no 29 February
        {"change-rule", "--zl", "last", "25.03", "10"},  // the centre keeps one digit
        {"change-rule", "--lz", "last", "25.10"},
        {"digital-type", "GGSS"},
        {"wait", "0"},
        {"watch", "10"},  // would hammer the server
        {"watch", "500", "many"},
        {"port", "COM3"},
        {"upload"},
        {"download", "a", "b"},
        {"--computer", "a", "--computer", "b", "pause"},  // only status reads many sites
        {"--computers", "sites.txt", "upload", "list.bin"},
        {"--computers"},
    };
    for (const auto& row : rows) {
        std::string joined;
        for (auto arg : row) joined += std::string(arg) + " ";
        SCOPED_TRACE(joined);
        EXPECT_THROW(ctl::parseCommandLine(row), ctl::UsageError);
    }
}

TEST(CtlTextTest, ValuesAreShownAsTheCentreKeepsThem) {
    EXPECT_EQ(ctl::formatDateTime(date(2024, 5, 17, 12, 34, 56)), "2024-05-17 12:34:56");
    EXPECT_EQ(ctl::formatIsoDateTime(date(2024, 5, 17, 12, 34, 56)), "2024-05-17T12:34:56");
    EXPECT_EQ(ctl::formatTimeOfDay(date(1900, 1, 1, 8, 30)), "08:30:00");
    EXPECT_EQ(ctl::formatChangeDate(date(1900, 3, 25, 2)), "25.03 02:00");
    EXPECT_EQ(ctl::formatOffset(-5.5 / 24), "-05:30");
    EXPECT_EQ(ctl::formatOffset(1.0 / 24), "+01:00");
    EXPECT_EQ(ctl::formatHresult(E_KT64_NOERROR), "0x80040201");
    EXPECT_EQ(ctl::dateFromSystemClock(std::chrono::system_clock::from_time_t(1715949296) + 900ms),
              date(2024, 5, 17, 12, 34, 56));
    EXPECT_EQ(ctl::jsonString("a\"b\\c\nł\x01"), "\"a\\\"b\\\\c\\nł\\u0001\"");
}

// Many sites: each report as one line and as JSON, whatever happened there.
TEST(CtlFleetTest, EachSiteIsOneLineWithWhatWentWrong) {
    using client::ServerError;
    auto site = [](std::string computer) {
        ctl::SiteReport report;
        report.computer = std::move(computer);
        return report;
    };
    ctl::SiteReport good = site("szkola-1"), lit = site("szkola-2"), silent = site("szkola-3"),
                    gone = site("10.0.0.9:6464");
    good.differenceSeconds = -2.0;
    good.alarmFlag = 0;
    good.setFlag = 4;
    lit.differenceSeconds = 0.0;
    lit.alarmFlag = 16 | 8;
    lit.setFlag = 8;
    silent.statusError = ServerError(E_KT64_NOANSWER, std::string(text::kNoAnswer), "", "");
    gone.connectionError = ServerError(client::E_RPC_TIMEOUT, "no answer from 10.0.0.9:6464");
    std::ostringstream text;
    ctl::printFleetText({good, lit, silent, gone}, text);
    EXPECT_EQ(text.str(),
              "COMPUTER       CENTRE     DIFFERENCE  ALARMS          LINES          LAST ERROR\n"
              "szkola-1       yes        -2 s        none            LA on, LC off  -\n"
              "szkola-2       yes        +0 s        A_POWER,A_SYNC  LA off, LC on  -\n"
              "szkola-3       no         -           -               -              Brak odpowiedzi. (0x80040204)\n"
              "10.0.0.9:6464  no server  -           -               -              "
              "timed out, no answer: Nie można pobrać błędu z serwera DCOM ! (0x8001011F); check the network and that "
              "the link server there is running\n");
    // A list's comments label the sites, in a column that lines up by
    // characters (a label is Polish).
    good.label = "szkoła nr 1";
    std::ostringstream labelled;
    ctl::printFleetText({good, silent}, labelled);
    EXPECT_EQ(labelled.str(),
              "COMPUTER  SITE         CENTRE  DIFFERENCE  ALARMS  LINES          LAST ERROR\n"
              "szkola-1  szkoła nr 1  yes     -2 s        none    LA on, LC off  -\n"
              "szkola-3  -            no      -           -       -              Brak odpowiedzi. (0x80040204)\n");
    gone.label = good.label;
    std::ostringstream json;
    ctl::printFleetJson({lit, gone}, json);
    EXPECT_EQ(
        json.str(),
        "[\n {\"computer\": \"szkola-2\", \"label\": null, \"reached\": true, \"centreAnswers\": true, "
        "\"differenceSeconds\": 0, "
        "\"alarmFlag\": 24, \"alarms\": [\"A_POWER\", \"A_SYNC\"], \"analogLine\": false, \"digitalLine\": true, "
        "\"connectionError\": null, \"statusError\": null},\n"
        " {\"computer\": \"10.0.0.9:6464\", \"label\": \"szkoła nr 1\", \"reached\": false, \"centreAnswers\": false, "
        "\"differenceSeconds\": null, \"alarmFlag\": null, \"alarms\": null, \"analogLine\": null, "
        "\"digitalLine\": null, \"connectionError\": {\"hresult\": \"0x8001011F\", \"description\": null, "
        "\"text\": \"Nie można pobrać błędu z serwera DCOM !\", \"cause\": \"timed-out\", \"causeText\": \"timed out, "
        "no answer\", \"detail\": \"no answer from 10.0.0.9:6464\", \"fix\": \"check the network and that the link "
        "server there is running\"}, \"statusError\": null}\n]\n");
    EXPECT_EQ(ctl::fleetExitCode({good, lit}), 0);
    EXPECT_EQ(ctl::fleetExitCode({good, silent}), 1);
    EXPECT_EQ(ctl::fleetExitCode({gone}), 1);
}

// A stopped server, a frozen one and a name that does not resolve all come
// with the same Polish text and mostly the same code: the client's
// transport text tells them apart, and each wants something else done.
TEST(CtlFleetTest, EachFailureNamesItsCause) {
    using client::ServerError;
    using ctl::TransportCause;
    struct Row {
        ServerError error;
        TransportCause cause;
        const char* fix;  // a piece of it; "" for none
    };
    const Row rows[] = {
        {ServerError(
             client::E_RPC_SERVER_UNAVAILABLE,
             "no link server answers on 10.0.0.9:6464 (failed to connect to all addresses; last error: UNKNOWN: "
             "ipv4:10.0.0.9:6464: Connection refused)"),
         TransportCause::Refused, "start the link server there"},
        // This computer: a server to start is looked for only when nothing listens.
        {ServerError(client::E_CLASS_NOT_REGISTERED, "no server is registered for a local start"),
         TransportCause::Refused, "-RegServer"},
        {ServerError(client::E_RPC_SERVER_UNAVAILABLE,
                     "127.0.0.1:6464 accepts connections but no link server answers there (failed to connect to all "
                     "addresses; last error: UNKNOWN: ipv4:127.0.0.1:6464: connection attempt timed out before "
                     "receiving SETTINGS frame)"),
         TransportCause::TimedOut, "hangs"},
        {ServerError(client::E_RPC_TIMEOUT, "no answer from zegar:6464"), TransportCause::TimedOut,
         "check the network"},
        {ServerError(client::E_RPC_SERVER_UNAVAILABLE,
                     "no link server answers on nosuch.invalid:6464 (DNS resolution failed for nosuch.invalid:6464: "
                     "C-ares status is not ARES_SUCCESS qtype=AAAA name=nosuch.invalid is_balancer=0: Domain name not "
                     "found)"),
         TransportCause::Unresolved, "check the computer's name"},
        {ServerError(client::E_RPC_SERVERFAULT, "std::bad_alloc"), TransportCause::Other, ""},
        // The server's own refusal says why itself.
        {ServerError(E_KT64_NOANSWER, std::string(text::kNoAnswer), "", ""), TransportCause::None, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error.what());
        const ctl::ConnectionCause cause = ctl::connectionCause(row.error);
        EXPECT_EQ(cause.kind, row.cause);
        if (*row.fix)
            EXPECT_NE(cause.fix.find(row.fix), std::string::npos) << cause.fix;
        else
            EXPECT_EQ(cause.fix, "");
        const std::string line = ctl::failureLine(row.error);
        EXPECT_EQ(line.rfind(cause.text, 0), 0u) << line;
        EXPECT_NE(line.find(row.error.displayText() + " (0x"), std::string::npos) << line;
    }
}

// The sites are read side by side: every reader waits here until all have
// started, which a one-after-another reading never gets to.
TEST(CtlFleetTest, SitesAreReadAtTheSameTime) {
    const std::vector<std::string> computers{"a", "b", "c", "d"};
    std::mutex mutex;
    std::condition_variable started;
    std::size_t count = 0;
    auto reader = [&](const std::string& computer) {
        std::unique_lock lock(mutex);
        ++count;
        started.notify_all();
        ctl::SiteReport site;
        site.computer = computer;
        if (!started.wait_for(lock, 10s, [&] { return count == computers.size(); }))
            site.connectionError = client::ServerError(client::E_RPC_TIMEOUT, "read alone");
        return site;
    };
    const auto sites = ctl::readSites(computers, reader);
    ASSERT_EQ(sites.size(), computers.size());
    for (std::size_t i = 0; i < sites.size(); ++i) {
        EXPECT_EQ(sites[i].computer, computers[i]);  // in the order given
        EXPECT_TRUE(sites[i].reached()) << computers[i];
    }
}

class CtlRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        srv_ = client::ConnectServer("localhost:" + std::to_string(host_.port()));
        settings_.pollInterval = 1ms;
        settings_.stallTimeout = 5s;
    }
    int run(std::initializer_list<std::string_view> args) {
        out_.str("");
        err_.str("");
        ctl::Command cmd = parse(args);
        ctl::readInputs(cmd);
        return ctl::runCommand(cmd, *srv_, out_, err_, settings_);
    }

    kt64::test::TempRegistry registry_;
    FakeKt64Srv fake_;
    FakeServerHost host_{fake_};
    std::unique_ptr<client::ServerProxy> srv_;
    ctl::RunSettings settings_;
    std::ostringstream out_, err_;
};

TEST_F(CtlRunTest, StatusShowsTheCentreAndItsErrors) {
    fake_.edit([](FakeState& s) {
        s.value<members::GetGmtTime>() = date(2024, 5, 17, 12, 34, 56);
        s.value<members::GetLocTime>() = date(2024, 5, 17, 14, 34, 56);
        s.value<members::GetLocalOffset>() = 2.0 / 24;
        s.value<members::GetAlarmFlag>() = 2 | 64;
        s.value<members::GetSetFlag>() = 1 | 4;
        s.value<members::GetSerialNum>() = "12/3456";
        s.value<members::GetBuildType>() = "KT-64/GPS/1/232 V1.2";
        s.value<members::GetLineDigitType>() = rpc::D_GGMMSS;
    });
    fake_.fail("GetSyncTime", E_KT64_NOTREADY, std::string(text::kManualSetting));
    EXPECT_EQ(run({"status"}), 0);
    std::string text = out_.str();
    for (const char* expected : {"2024-05-17 12:34:56", "2024-05-17 14:34:56", "+02:00", "A_SET", "A_MANSET", "12/3456",
                                 "KT-64/GPS/1/232 V1.2", "D_GGMMSS", "Centrala jest wlaśnie ustawiana ręcznie"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " missing in\n" << text;

    // An invalid status: every validity-ruled getter refuses.
    for (const char* getter :
         {"GetGmtTime", "GetLocTime", "GetLineTime", "GetAlarmFlag", "GetLocalOffset", "GetKeyTimeZL",
          "GetChangeTimeZL", "GetKeyTimeLZ", "GetChangeTimeLZ", "GetSerialNum", "GetBuildType", "GetLineDigitType"})
        fake_.fail(getter, E_KT64_PAUSED, std::string(text::kPaused));
    EXPECT_EQ(run({"status", "--json"}), 1);
    std::string json = out_.str();
    for (const char* expected :
         {"\"valid\": false", "\"hresult\": \"0x80040206\"", "\"description\": \"Transmisja jest zatrzymana.\"",
          "\"gmtTime\": null", "\"setFlag\": 5", "\"analogLine\": true", "\"digitalLine\": false"})
        EXPECT_NE(json.find(expected), std::string::npos) << expected << " missing in\n" << json;
}

TEST_F(CtlRunTest, SettersSendWhatTheCommandSays) {
    fake_.edit([](FakeState& s) { s.value<members::GetSetFlag>() = 4 | 2; });
    EXPECT_EQ(run({"lines", "--digital", "on"}), 0);
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.value<members::GetSetFlag>() & 12u; }),
              12u);  // analogue line kept on
    EXPECT_EQ(run({"lines", "--analog", "off"}), 0);
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.value<members::GetSetFlag>() & 12u; }), 8u);

    settings_.clock = [] { return std::chrono::system_clock::from_time_t(1715949296); };
    EXPECT_EQ(run({"set-time", "now"}), 0);
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.value<members::GetGmtTime>(); }), date(2024, 5, 17, 12, 34, 56));

    EXPECT_EQ(run({"change-rule", "off", "--lz", "3", "20.10", "3"}), 0);
    fake_.edit([](FakeState& s) {
        EXPECT_EQ(s.value<members::PutChangeTimeOn>(), 0u);
        EXPECT_EQ(s.value<members::GetKeyTimeLZ>(), rpc::K_3NIEDZ);
        EXPECT_EQ(s.value<members::GetChangeTimeLZ>(), date(1900, 10, 20, 3));
        EXPECT_EQ(s.value<members::GetChangeTimeZL>(), 0.0);  // not given, not sent
    });
    EXPECT_EQ(run({"offset", "-5:30"}), 0);
    EXPECT_DOUBLE_EQ(fake_.edit([](FakeState& s) { return s.value<members::GetLocalOffset>(); }), -5.5 / 24);
    EXPECT_EQ(run({"port", "5"}), 0);
    EXPECT_EQ(run({"port"}), 0);
    EXPECT_EQ(out_.str(), "5\n");
    EXPECT_EQ(run({"pause"}), 0);
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.value<members::ComunicationEnable>(); }), 0u);
    const int waitsBefore = fake_.edit([](FakeState& s) { return s.waits; });
    EXPECT_EQ(run({"wait", "2"}), 0);
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.waits; }) - waitsBefore, 2);

    out_.str("");
    EXPECT_EQ(run({"watch", "50", "3"}), 0);
    const std::string watched = out_.str();
    std::size_t reports = 0;
    for (auto at = watched.find("GMT time"); at != std::string::npos; at = watched.find("GMT time", at + 1)) ++reports;
    EXPECT_EQ(reports, 3u);

    fake_.fail("PutGmtTime", E_KT64_FRAME, std::string(text::kBadSetData));
    EXPECT_THROW(run({"set-time", "2100-01-01 00:00"}), client::ServerError);
}

// What the centre's state means for each command: a status waits for the
// first exchange, a setter that cannot reach the centre says so, a wait
// while paused says so, a stalled transfer names what stalled it.
TEST_F(CtlRunTest, CommandsReportWhatTheCentreDidWithThem) {
    fake_.edit([](FakeState& s) { s.value<members::GetGmtTime>() = date(2024, 5, 17, 12, 34, 56); });
    fake_.fail("GetGmtTime", E_KT64_NOERROR, std::string(text::kNoError));
    fake_.edit([](FakeState& s) { s.failuresEndAtWait = s.waits + 1; });
    EXPECT_EQ(run({"status"}), 0) << out_.str();
    EXPECT_NE(out_.str().find("Status          valid"), std::string::npos) << out_.str();
    EXPECT_EQ(out_.str().find("Brak błędu"), std::string::npos) << out_.str();

    const std::string portText = "No such file or directory (/dev/ttyS0)";
    struct Row {
        std::vector<std::string_view> args;
        HRESULT code;
        std::string text;
        std::string expectedErr;
    };
    const Row rows[] = {
        {{"offset", "1:00"},
         E_KT64_PORT,
         portText,
         "not sent: " + portText + " (0x80040200)\n(the request stays queued until the centre answers)\n"},
        {{"set-time", "2024-05-17 12:00"},
         E_KT64_NOANSWER,
         std::string(text::kNoAnswer),
         "not sent: Brak odpowiedzi. (0x80040204)\n(the request stays queued until the centre answers)\n"},
        {{"wait"},
         E_KT64_PAUSED,
         std::string(text::kPaused),
         "communication is paused: Transmisja jest zatrzymana. (0x80040206)\n(kt64ctl resume switches it on)\n"},
        {{"wait"}, E_KT64_PORT, portText, "the centre was not read: " + portText + " (0x80040200)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.args[0]));
        fake_.fail("GetGmtTime", row.code, row.text);
        out_.str("");
        err_.str("");
        EXPECT_EQ(ctl::runCommand(ctl::parseCommandLine(row.args), *srv_, out_, err_, settings_), 1);
        EXPECT_EQ(out_.str(), "");
        EXPECT_EQ(err_.str(), row.expectedErr);
    }
    // The offset stays queued on the server for when the port opens.
    EXPECT_DOUBLE_EQ(fake_.edit([](FakeState& s) { return s.value<members::GetLocalOffset>(); }), 1.0 / 24);

    fake_.fail("GetGmtTime", E_KT64_NOANSWER, std::string(text::kNoAnswer));
    fake_.edit([](FakeState& s) { s.stalled = true; });
    settings_.stallTimeout = 50ms;
    try {
        run({"download", (registry_.dir() / "stalled.bin").c_str()});
        ADD_FAILURE() << "a stalled download ended without an error";
    } catch (const ctl::CtlError& e) {
        EXPECT_STREQ(e.what(), "download stalled at 0 bytes: Brak odpowiedzi. (0x80040204)");
    }
}

TEST_F(CtlRunTest, ImagesTravelWholeWithProgress) {
    std::string image(ctl::kImageSize, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13);
    auto file = registry_.dir() / "up.bin";
    std::ofstream(file, std::ios::binary) << image;
    settings_.progressBar = true;
    fake_.edit([](FakeState& s) { s.uploadStep = 700; });
    EXPECT_EQ(run({"upload", file.c_str()}), 0);
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.uploaded; }), image);
    EXPECT_NE(err_.str().find("2905/2905 bytes"), std::string::npos) << err_.str();

    fake_.edit([&](FakeState& s) {
        s.image = image;
        s.downloadStep = 1000;
    });
    auto down = registry_.dir() / "down.bin";
    EXPECT_EQ(run({"download", down.c_str()}), 0);
    std::ifstream in(down, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), image);

    // A download the server fails, and one of the wrong type: no file.
    auto none = registry_.dir() / "none.bin";
    fake_.edit([](FakeState& s) { s.imageVt = 0x200C; });
    EXPECT_THROW(run({"download", none.c_str()}), ctl::CtlError);
    fake_.fail("GetRozkazRxPos", E_KT64_CHECKSUM, std::string(text::kTransferChecksum));
    EXPECT_THROW(run({"download", none.c_str()}), client::ServerError);
    EXPECT_FALSE(std::filesystem::exists(none));

    // A file that is no image is not sent.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "short";
    fake_.edit([](FakeState& s) { s.uploaded.clear(); });
    EXPECT_THROW(run({"upload", file.c_str()}), ctl::CtlError);
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.uploaded; }), "");

    // A stalled upload ends instead of waiting for ever.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << image;
    fake_.edit([](FakeState& s) { s.stalled = true; });
    settings_.pollInterval = 10ms;
    settings_.stallTimeout = 200ms;
    EXPECT_THROW(run({"upload", file.c_str()}), ctl::CtlError);
}

// The program itself: exit code, standard output, standard error.
struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

Outcome runProgram(const std::string& args, const std::filesystem::path& dir) {
    auto errFile = dir / "stderr.txt";
    std::string command = std::string(KT64CTL_PROGRAM) + " " + args + " 2>" + errFile.string();
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) outcome.out.append(buffer.data(), n);
    int status = ::pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    outcome.err.assign(std::istreambuf_iterator<char>(err), {});
    return outcome;
}

// An upload's file is read and checked before any server is contacted: a
// wrong one is named as such, never reported as a connection failure (the
// test's registry has no server).
TEST(CtlProgramTest, WrongUploadFilesAreRefusedByNameBeforeConnecting) {
    kt64::test::TempRegistry registry;
    for (const auto& wrong : kt64::test::wrongImageFiles(registry.dir(), "a command list has 2905")) {
        SCOPED_TRACE(wrong.shown);
        const std::vector<std::string> words{KT64CTL_PROGRAM, "upload", wrong.file.string()};
        const auto run = kt64::test::runProgram(wrong.unreadable ? kt64::test::withoutReadOverride(words) : words,
                                                registry.dir(), kt64::test::kWrongFileLimits);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "kt64ctl: " + wrong.shown + "\n");
    }
}

TEST(CtlProgramTest, RunsEndToEndAgainstTheFake) {
    kt64::test::TempRegistry registry;
    FakeKt64Srv fake;
    FakeServerHost host(fake);
    fake.edit([](FakeState& s) { s.value<members::GetGmtTime>() = date(2024, 5, 17, 12, 34, 56); });
    std::string computer = "--computer 127.0.0.1:" + std::to_string(host.port());

    Outcome status = runProgram(computer + " --json status", registry.dir());
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_NE(status.out.find("\"gmtTime\": \"2024-05-17T12:34:56\""), std::string::npos) << status.out;

    fake.fail("PutGmtTime", E_KT64_FRAME, std::string(text::kBadSetData));
    Outcome refused = runProgram(computer + " set-time '2100-01-01 00:00'", registry.dir());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "Błędne dane ustawiane.\n");

    host.shutdown();
    Outcome gone = runProgram(computer + " pause", registry.dir());
    EXPECT_EQ(gone.exitCode, 1);
    // The fixed text, then one line with the cause and the fix.
    EXPECT_EQ(gone.err.substr(0, gone.err.find('\n')), "Nie można pobrać błędu z serwera DCOM !");
    // This computer, nothing registered in the test's registry.
    EXPECT_NE(gone.err.find("kt64ctl: 0x80040154: no server is registered for a local start: run VqSrvKt64 "
                            "-RegServer (or -Service)"),
              std::string::npos)
        << gone.err;
    EXPECT_EQ(std::count(gone.err.begin(), gone.err.end(), '\n'), 2) << gone.err;

    Outcome usage = runProgram("offset", registry.dir());
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(runProgram("--help", registry.dir()).exitCode, 0);
}

// kt64ctl against sites as they come: one answering, and three it cannot
// reach, each for its own reason that the user must be told: a server
// stopped (nothing listens), one frozen (the system takes the connection,
// nobody answers) and a name that does not resolve. The text shows each
// cause, and --json stays JSON, for all sites at once and for each alone.
// The frozen site costs its connection time-out (5 s); the runs go side by
// side so that the test costs it once.
TEST(CtlProgramTest, ManySitesAreShownOneLineEach) {
    kt64::test::TempRegistry registry;
    FakeKt64Srv fake;
    FakeServerHost host(fake);
    fake.edit([](FakeState& s) { s.value<members::GetAlarmFlag>() = 8; });
    const int frozen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = kt64::test::loopbackAddress(0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(frozen, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(frozen, 8), 0);
    ASSERT_EQ(::getsockname(frozen, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string answering = "127.0.0.1:" + std::to_string(host.port());
    struct Unreached {
        std::string computer;
        const char* label;  // its comment in the list
        const char* cause;  // as JSON names it
        const char* said;   // the cause in the text
        const char* fix;    // a piece of what to do
    };
    // The frozen site: gRPC gives up either while it waits for the server's
    // first answer (the computer takes the connection) or at the deadline
    // (no answer), and the runs side by side need not agree on which.
    const Unreached unreached[] = {
        {"127.0.0.1:" + std::to_string(kt64::test::freeTcpPort()), "szkoła nr 1", "refused",
         "connection refused, nothing listens there", "VqSrvKt64"},
        {"127.0.0.1:" + std::to_string(ntohs(address.sin_port)), "", "timed-out", "timed out, ",
         "the link server there"},
        {"nosuch.invalid", "", "unresolved", "name does not resolve", "check the computer's name"},
    };
    std::ofstream list(registry.dir() / "sites.txt");
    list << "# district\n";
    for (const auto& site : unreached)
        list << "  " << site.computer << (*site.label ? std::string("   # ") + site.label : "") << "\n\n";
    list.close();

    // Each run in a folder of its own (the program's output files).
    auto runIn = [&](std::string folder, std::vector<std::string> words) {
        const auto dir = registry.dir() / folder;
        std::filesystem::create_directory(dir);
        words.insert(words.begin(), KT64CTL_PROGRAM);
        return std::async(std::launch::async, [dir, words] { return kt64::test::runProgram(words, dir); });
    };
    const std::vector<std::string> fleet{"--computer", answering, "--computers",
                                         (registry.dir() / "sites.txt").string()};
    auto fleetJson = fleet;
    fleetJson.push_back("--json");
    auto textRun = runIn("text", fleet);
    auto jsonRun = runIn("json", fleetJson);
    std::vector<std::future<ProgramOutcome>> aloneRuns;
    for (std::size_t i = 0; i < std::size(unreached); ++i)
        aloneRuns.push_back(
            runIn("alone" + std::to_string(i), {"--computer", unreached[i].computer, "--json", "status"}));
    const ProgramOutcome text = textRun.get(), json = jsonRun.get();
    ::close(frozen);

    EXPECT_EQ(text.code, 1) << text.err;
    std::istringstream lines(text.out);
    std::vector<std::string> shown;
    for (std::string line; std::getline(lines, line);) shown.push_back(line);
    ASSERT_EQ(shown.size(), 5u) << text.out;
    EXPECT_EQ(shown[1].rfind(answering, 0), 0u) << shown[1];
    EXPECT_NE(shown[1].find(" yes "), std::string::npos) << shown[1];
    EXPECT_NE(shown[1].find("A_POWER"), std::string::npos) << shown[1];
    // The comment is the site's label, in a column of its own.
    EXPECT_EQ(shown[0].find("SITE"), shown[2].find("szkoła nr 1")) << text.out;

    EXPECT_EQ(json.code, 1) << json.err;
    QJsonParseError parsed{};
    const QJsonDocument all = QJsonDocument::fromJson(QByteArray::fromStdString(json.out), &parsed);
    ASSERT_EQ(parsed.error, QJsonParseError::NoError) << parsed.errorString().toStdString() << "\n" << json.out;
    ASSERT_TRUE(all.isArray());
    ASSERT_EQ(all.array().size(), 4);
    EXPECT_TRUE(all.array()[0].toObject()["centreAnswers"].toBool());

    for (std::size_t i = 0; i < std::size(unreached); ++i) {
        const Unreached& site = unreached[i];
        SCOPED_TRACE(site.computer);
        const std::string& row = shown[i + 2];
        EXPECT_EQ(row.rfind(site.computer + " ", 0), 0u) << row;
        EXPECT_NE(row.find(" no server "), std::string::npos) << row;
        EXPECT_NE(row.find(std::string("  ") + site.said), std::string::npos) << row;
        EXPECT_NE(row.find(": Nie można pobrać błędu z serwera DCOM ! (0x"), std::string::npos) << row;
        EXPECT_NE(row.find(site.fix), std::string::npos) << row;

        const QJsonObject listed = all.array()[static_cast<int>(i) + 1].toObject();
        EXPECT_EQ(listed["computer"].toString().toStdString(), site.computer);
        EXPECT_EQ(listed["label"].toString().toStdString(), site.label);
        EXPECT_FALSE(listed["reached"].toBool());

        const ProgramOutcome aloneRun = aloneRuns[i].get();
        EXPECT_EQ(aloneRun.code, 1) << aloneRun.err;
        const QJsonDocument alone = QJsonDocument::fromJson(QByteArray::fromStdString(aloneRun.out), &parsed);
        ASSERT_EQ(parsed.error, QJsonParseError::NoError) << aloneRun.out;
        EXPECT_EQ(alone.object()["computer"].toString().toStdString(), site.computer);
        for (const QJsonObject& error : {listed["connectionError"].toObject(), alone.object()["error"].toObject()}) {
            EXPECT_EQ(error["cause"].toString().toStdString(), site.cause);
            EXPECT_EQ(error["text"].toString().toStdString(), "Nie można pobrać błędu z serwera DCOM !");
            EXPECT_EQ(error["hresult"].toString().toStdString().rfind("0x", 0), 0u);
            EXPECT_NE(error["fix"].toString().toStdString().find(site.fix), std::string::npos);
            EXPECT_FALSE(error["detail"].toString().isEmpty());
        }
    }

    const auto none = registry.dir() / "none.txt";
    std::ofstream(none) << "# nobody yet\n";
    Outcome empty = runProgram("--computers " + none.string(), registry.dir());
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err, "kt64ctl: " + none.string() + ": names no computer\n");
    // A failure on this side is JSON with --json too.
    Outcome emptyJson = runProgram("--json --computers " + none.string(), registry.dir());
    EXPECT_EQ(emptyJson.exitCode, 1);
    QJsonParseError emptyParsed{};
    const QJsonDocument refused = QJsonDocument::fromJson(QByteArray::fromStdString(emptyJson.out), &emptyParsed);
    ASSERT_EQ(emptyParsed.error, QJsonParseError::NoError) << emptyJson.out;
    EXPECT_EQ(refused.object()["error"].toObject()["text"].toString().toStdString(),
              none.string() + ": names no computer");
}

// Ctrl+C while kt64ctl follows an upload: the server has the whole list and
// sends it on, and the user is told so and how to follow it.
TEST(CtlProgramTest, AnInterruptedUploadSaysItGoesOnInTheServer) {
    kt64::test::TempRegistry registry;
    FakeKt64Srv fake;
    FakeServerHost host(fake);
    fake.edit([](FakeState& s) { s.uploadStep = 1; });  // one byte a poll: it lasts
    const auto file = registry.dir() / "list.bin";
    std::ofstream(file, std::ios::binary) << std::string(2905, '\x11');
    const auto errFile = registry.dir() / "stderr.txt";
    const std::string computer = "127.0.0.1:" + std::to_string(host.port());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> words{KT64CTL_PROGRAM, "--computer", computer, "upload", file.string()};
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    bool sent = false;
    for (int i = 0; i < 2000 && !sent; ++i) {
        // Polled at least once: kt64ctl is following the upload.
        sent = fake.edit([](FakeState& s) { return !s.uploaded.empty() && s.sendRemaining < 2905; });
        if (!sent) std::this_thread::sleep_for(5ms);
    }
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(sent);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    std::ifstream err(errFile);
    const std::string said((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(said.find(ctl::uploadInterruptedText("--computer " + computer)), std::string::npos) << said;
    EXPECT_NE(said.find("kt64ctl --computer " + computer + " watch"), std::string::npos) << said;
}

}  // namespace
}  // namespace kt64::test
