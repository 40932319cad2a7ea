// Sending and receiving programs against a fake link server: every check,
// question and message, the progress window's stall rule and failures.
#include <gtest/gtest.h>

#include <deque>
#include <variant>

#include "BuildType.h"
#include "ImageCompiler.h"
#include "ProgramFixture.h"
#include "ProgramTexts.h"
#include "ProgramTransfer.h"
#include "TextFormat.h"

namespace kt64::test {
namespace {

using namespace kt64::program;
namespace text = kt64::program::text;

// One scripted answer of a position read: a value or a failure.
using Answer = std::variant<std::uint32_t, LinkError>;

class FakeLink : public CentreLink {
public:
    bool connected = true;
    std::variant<std::string, LinkError> buildType = std::string("KT-64/GPS/2/232");
    std::optional<LinkError> putFailure, startFailure, getFailure;
    std::deque<Answer> positions;  // read by RozkazPos and RozkazRxPos
    ReceivedList list;
    std::optional<LinkError> fault;  // the status after a failed transfer
    std::vector<std::vector<std::uint8_t>> puts;
    int starts = 0, gets = 0;
    std::vector<std::string> calls;

    bool Connected() const override { return connected; }
    std::string BuildType() override {
        calls.push_back("BuildType");
        if (auto* e = std::get_if<LinkError>(&buildType)) throw *e;
        return std::get<std::string>(buildType);
    }
    void PutRozkazy(std::span<const std::uint8_t> image) override {
        calls.push_back("PutRozkazy");
        if (putFailure) throw *putFailure;
        puts.emplace_back(image.begin(), image.end());
    }
    std::uint32_t RozkazPos() override { return next("RozkazPos"); }
    void StartGetRozkazy() override {
        calls.push_back("StartGetRozkazy");
        if (startFailure) throw *startFailure;
        ++starts;
    }
    std::uint32_t RozkazRxPos() override { return next("RozkazRxPos"); }
    ReceivedList GetRozkazy() override {
        calls.push_back("GetRozkazy");
        if (getFailure) throw *getFailure;
        ++gets;
        return list;
    }
    std::optional<LinkError> centreFault() override { return fault; }

private:
    std::uint32_t next(const char* name) {
        calls.push_back(name);
        if (positions.empty()) throw LinkError(E_KT64_BUSY, std::nullopt);
        Answer a = positions.front();
        positions.pop_front();
        if (auto* e = std::get_if<LinkError>(&a)) throw *e;
        return std::get<std::uint32_t>(a);
    }
};

// Ticks the progress as the dialog's timer would, until it ends by itself or
// fails; keeps every position shown.
class RecordingWatcher : public TransferWatcher {
public:
    void watch(TransferProgress& progress) override {
        ++runs;
        for (int i = 0; i < 100 && !progress.finished() && !progress.failed(); ++i) {
            progress.tick();
            shown.push_back(progress.position());
            EXPECT_EQ(progress.busy(), !progress.failed());
        }
        finished = progress.finished();
        status = progress.statusText();
    }
    int runs = 0;
    std::vector<int> shown;
    bool finished = false;
    std::string status;
};

struct Bench {
    OpenProgram program;
    FakeLink link;
    RecordingWatcher watcher;
    ProgramTransfer transfer{link, program.messages, watcher};
};

// Every part of the console reads the centre's type here: texts as the
// server reports and as the service dialog writes them, the server's marks
// for codes it does not know, and texts with fields missing or empty.
TEST(BuildType, FieldsRelayOutputsAndSourceLetter) {
    struct Row {
        const char* text;
        const char* source;
        const char* relays;
        const char* interface;
        std::optional<int> outputs;
        std::optional<char> letter;
    };
    const Row rows[] = {
        {"KT-64/GPS/1/232 V1.2", "GPS", "1", "232 V1.2", 1, 'G'},
        {"KT-64/RS/2/485 V1.0", "RS", "2", "485 V1.0", 2, 'R'},
        {"KT-64/00/0/000 V1.0", "00", "0", "000 V1.0", 0, '0'},
        {"KT-64/LIN/0/000/", "LIN", "0", "000", 0, 'L'},
        {"KT-64/ERR/E/ERR V1.2", "ERR", "E", "ERR V1.2", std::nullopt, 'E'},
        {"KT-64/DCF/x/232", "DCF", "x", "232", std::nullopt, 'D'},
        {"KT-64/GPS/12", "GPS", "12", "", 1, 'G'},
        {"KT-64/DCF//232", "DCF", "", "232", std::nullopt, 'D'},
        {"KT-64//GPS//2/232", "", "GPS", "", std::nullopt, std::nullopt},
        {"KT-64/GPS/1/485/232", "GPS", "1", "485", 1, 'G'},
        {"KT-64/GPS", "GPS", "", "", std::nullopt, 'G'},
        {"KT-64/", "", "", "", std::nullopt, std::nullopt},
        {"", "", "", "", std::nullopt, std::nullopt},
    };
    for (const auto& r : rows) {
        const auto fields = link::readBuildType(r.text);
        EXPECT_EQ(fields.model, std::string_view(r.text).empty() ? "" : "KT-64") << r.text;
        EXPECT_EQ(fields.source, r.source) << r.text;
        EXPECT_EQ(fields.relays, r.relays) << r.text;
        EXPECT_EQ(fields.interface, r.interface) << r.text;
        EXPECT_EQ(fields.relayOutputs, r.outputs) << r.text;
        EXPECT_EQ(fields.sourceLetter(), r.letter) << r.text;
        EXPECT_EQ(link::relayOutputsOf(r.text), r.outputs.value_or(0)) << r.text;
    }
}

TEST(ProgramTransfer, SendChecksAndQuestionsBeforeAnythingIsSent) {
    {
        Bench b;
        b.link.connected = false;
        b.transfer.sendProgram(b.program.document);
        ASSERT_EQ(b.program.messages.entries.size(), 1u);
        EXPECT_EQ(b.program.messages.entries[0].text, text::kNotConnected);
        EXPECT_EQ(b.program.messages.entries[0].icon, MessageIcon::Stop);
        EXPECT_TRUE(b.link.calls.empty());
    }
    {
        Bench b;
        b.program.messages.answers = {false};
        b.transfer.sendProgram(b.program.document);
        EXPECT_EQ(b.program.messages.texts(), std::vector<std::string>{std::string(text::kConfirmSend)});
        EXPECT_EQ(b.program.messages.entries[0].icon, MessageIcon::Question);
        EXPECT_TRUE(b.link.calls.empty());
    }
    // The two-relay question: asked only for a centre with fewer than two
    // outputs (or an unreadable BuildType) and a program using relay 2.
    struct Case {
        std::variant<std::string, LinkError> buildType;
        int relay;
        bool asked;
    } cases[] = {
        {std::string("KT-64/GPS/1/232"), 2, true},
        {std::string("KT-64/GPS/2/232"), 2, false},
        {LinkError(E_KT64_NOANSWER, "Brak odpowiedzi."), 2, true},
        {std::string("KT-64/GPS/1/232"), 1, false},
    };
    for (const auto& c : cases) {
        Bench b;
        b.link.buildType = c.buildType;
        insertCommand(b.program.db(), commandRow(1, c.relay, kOn, 7, 0));
        b.link.positions = {0u, 0u};  // an upload that runs to its end
        b.program.messages.answers = {true, false};
        b.transfer.sendProgram(b.program.document);
        const auto texts = b.program.messages.texts();
        if (c.asked) {
            ASSERT_EQ(texts.size(), 2u);
            EXPECT_EQ(texts[1], text::kConfirmTwoRelays);
            EXPECT_TRUE(b.link.puts.empty());  // answered No
        } else {
            EXPECT_EQ(texts.size(), 1u);
            EXPECT_EQ(b.link.puts.size(), 1u);
        }
    }
}

TEST(ProgramTransfer, SendRefusesAProgramTheListCannotHoldBeforeAsking) {
    Bench b;
    const auto id = insertCommand(b.program.db(), commandRow(1, 1, kOn, 7, 0, 200));
    b.transfer.sendProgram(b.program.document);
    ASSERT_EQ(b.program.messages.entries.size(), 1u);
    EXPECT_EQ(b.program.messages.entries[0].text, std::string(text::kCannotBuild) + "\nRozkaz " + std::to_string(id) +
                                                      ": dni tygodnia 200 poza zakresem 0-127.");
    EXPECT_EQ(b.program.messages.entries[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(b.link.puts.empty());
    EXPECT_EQ(b.watcher.runs, 0);
}

TEST(ProgramTransfer, SendQuestionNamesTheBlocksThatApplyOnNoDay) {
    Bench b;
    const auto undated = b.program.addBlock(2);
    const auto schoolYear = b.program.addBlock(2);
    const auto dated = b.program.addBlock(2);
    insertDate(b.program.db(), dateRow(schoolYear, {2025, 9, 1}, {2026, 6, 30}, false));
    insertDate(b.program.db(), dateRow(dated, {2025, 9, 1}, {2026, 6, 30}, true));
    b.program.messages.answers = {false};
    b.transfer.sendProgram(b.program.document);
    EXPECT_EQ(b.program.messages.texts(),
              std::vector<std::string>{"Bloki " + std::to_string(undated) + ", " + std::to_string(schoolYear) +
                                       " nie obowiązują w żadnym dniu: nie mają dat albo ich zakresy dat kończą się "
                                       "przed swoim początkiem. Ich rozkazy nie zostaną wykonane.\n\n" +
                                       std::string(text::kConfirmSend)});
}

TEST(ProgramTransfer, SendPutsTheImageAndFollowsItUntilItStandsStill) {
    Bench b;
    insertCommand(b.program.db(), commandRow(1, 1, kOn, 7, 0));
    b.link.positions = {2905u, 2905u, 1000u, 0u, 0u};
    b.transfer.sendProgram(b.program.document);
    ASSERT_EQ(b.link.puts.size(), 1u);
    CommandImage expected = blankImage();
    ASSERT_TRUE(buildImage(b.program.document.database(), expected, b.program.messages).built);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), b.link.puts[0].begin()));
    EXPECT_EQ(b.link.puts[0].size(), kImageSize);
    // 0 twice does not end it (nothing moved yet); 2905 twice does.
    EXPECT_EQ(b.watcher.shown, (std::vector<int>{0, 0, 1905, 2905, 2905}));
    EXPECT_TRUE(b.watcher.finished);
    EXPECT_EQ(b.watcher.status, text::kTransferWait);
    EXPECT_EQ(b.program.messages.entries.size(), 1u);  // only the confirmation
}

TEST(ProgramTransfer, ServerRefusalsAndFailedReadsAreShown) {
    {
        Bench b;
        b.link.putFailure = LinkError(E_KT64_BUSY, std::string(kt64::text::kBusyDot));
        b.transfer.sendProgram(b.program.document);
        EXPECT_EQ(b.program.messages.entries.back().text, kt64::text::kBusyDot);
        EXPECT_EQ(b.program.messages.entries.back().icon, MessageIcon::Stop);
        EXPECT_EQ(b.watcher.runs, 0);
    }
    {
        Bench b;
        b.link.putFailure = LinkError(hresultOf(0x800706BAu), std::nullopt);
        b.transfer.sendProgram(b.program.document);
        EXPECT_EQ(b.program.messages.entries.back().text, text::kUnknownError);
    }
    {
        // A failed read shows the error in the window and lets it close.
        Bench b;
        b.link.positions = {2000u, LinkError(E_KT64_CHECKSUM, std::string(kt64::text::kTransferChecksum))};
        b.program.messages.answers = {true, false};
        b.transfer.sendProgram(b.program.document);
        EXPECT_EQ(b.watcher.status, kt64::text::kTransferChecksum);
        EXPECT_FALSE(b.watcher.finished);
    }
    {
        Bench b;
        b.link.positions = {LinkError(E_KT64_CHECKSUM, std::nullopt)};
        b.program.messages.answers = {true, false};
        b.transfer.sendProgram(b.program.document);
        EXPECT_EQ(b.watcher.status, text::kTransferFailed);
    }
}

TEST(ProgramTransfer, AFailedTransferNamesASilentCentreOrAFailedPort) {
    // The server calls every failed transfer a bad checksum; the status
    // exchange after it tells a centre that stopped answering or a port
    // that failed, and that is what the window and the message say.
    const LinkError failed(E_KT64_CHECKSUM, std::string(kt64::text::kTransferChecksum));
    struct Case {
        const char* name;
        std::optional<LinkError> fault;
        std::string shown;
    } cases[] = {
        {"silent centre", LinkError(E_KT64_NOANSWER, std::string(kt64::text::kNoAnswer)),
         std::string(kt64::text::kNoAnswer)},
        {"port failed", LinkError(E_KT64_PORT, std::string("Input/output error (/dev/ttyUSB0)")),
         "Input/output error (/dev/ttyUSB0)"},
        {"centre answers again", std::nullopt, std::string(kt64::text::kTransferChecksum)},
        {"bad frame", LinkError(E_KT64_FRAME, std::string(kt64::text::kBadFrame)),
         std::string(kt64::text::kTransferChecksum)},
    };
    for (const auto& c : cases) {
        {
            // The message after it names the same cause.
            Bench b;
            b.link.positions = {1000u, failed};
            b.link.fault = c.fault;
            b.program.messages.answers = {true, false};
            b.transfer.sendProgram(b.program.document);
            EXPECT_EQ(b.watcher.status, c.shown) << c.name;
            EXPECT_EQ(b.program.messages.entries.back().text,
                      formatText(text::kUploadIncomplete, c.shown.c_str()) + "\n\n" + std::string(text::kSendAgain))
                << c.name;
        }
        {
            // One message for the failure, with the same cause as the window.
            Bench b;
            b.link.positions = {700u, failed};
            b.link.getFailure = failed;
            b.link.fault = c.fault;
            b.transfer.receiveProgram(b.program.document);
            EXPECT_EQ(b.watcher.status, c.shown) << c.name;
            ASSERT_FALSE(b.program.messages.entries.empty()) << c.name;
            EXPECT_EQ(b.program.messages.entries.back().text, c.shown) << c.name;
            EXPECT_FALSE(b.program.document.isModified()) << c.name;
        }
    }
}

TEST(ProgramTransfer, AFailedUploadIsSentAgainOnRequest) {
    Bench b;
    b.link.positions = {1000u, LinkError(E_KT64_CHECKSUM, std::nullopt), 1000u, 0u, 0u};
    b.program.messages.answers = {true, true};
    b.transfer.sendProgram(b.program.document);
    EXPECT_EQ(b.link.puts.size(), 2u);
    EXPECT_TRUE(b.watcher.finished);
}

TEST(ProgramTransfer, ThePreviousPositionOutlivesOneTransfer) {
    // The stall rule compares with the last position read by any earlier
    // window: a second receive whose first reading repeats the last one
    // ends at once.
    FakeLink link;
    int previous = 0;
    link.positions = {2905u, 2905u};
    TransferProgress first(link, TransferDirection::Receive, previous);
    first.tick();
    EXPECT_FALSE(first.finished());
    TransferProgress second(link, TransferDirection::Receive, previous);
    second.tick();
    EXPECT_TRUE(second.finished());
}

TEST(ProgramTransfer, TickingWatcherWaitsASecondPerTick) {
    FakeLink link;
    int previous = 0;
    link.positions = {500u, 2905u, 2905u};
    TransferProgress progress(link, TransferDirection::Receive, previous);
    std::vector<std::chrono::milliseconds> sleeps;
    std::vector<int> reported;
    TickingWatcher watcher([&](auto d) { sleeps.push_back(d); },
                           [&](const auto& p) { reported.push_back(p.position()); });
    watcher.watch(progress);
    EXPECT_EQ(reported, (std::vector<int>{500, 2905, 2905}));
    EXPECT_EQ(sleeps, std::vector<std::chrono::milliseconds>(3, std::chrono::milliseconds(1000)));
}

std::vector<std::uint8_t> imageWithOneBlock() {
    CommandImage image = blankImage();
    image[2800] = 0;
    image[2801] = 6;
    const SlotBytes command = {1, 0x7F, 6, 45, 0x11, 0, 0};
    std::copy(command.begin(), command.end(), image.begin() + 2793);
    return {image.begin(), image.end()};
}

TEST(ProgramTransfer, ReceiveMakesANewModifiedProgramFromTheCentresList) {
    Bench b;
    insertBlock(b.program.db(), BlockRow{0, 3, "old"});
    const auto oldCopy = b.program.document.workingCopyPath();
    std::vector<std::uint32_t> hints;
    b.program.document.setChangeObserver([&](std::uint32_t h) { hints.push_back(h); });
    b.link.list = ReceivedList{kByteArrayType, imageWithOneBlock()};
    b.link.positions = {0u, 1400u, 2905u, 2905u};
    b.transfer.receiveProgram(b.program.document);

    EXPECT_EQ(b.program.messages.texts(), std::vector<std::string>{std::string(text::kConfirmReceive)});
    EXPECT_EQ(b.link.calls.front(), "StartGetRozkazy");
    EXPECT_EQ(b.link.calls.back(), "GetRozkazy");
    EXPECT_TRUE(b.watcher.finished);
    EXPECT_NE(b.program.document.workingCopyPath(), oldCopy);
    EXPECT_TRUE(b.program.document.isModified());
    EXPECT_EQ(hints, std::vector<std::uint32_t>{0});
    const auto blocks = readBlocks(b.program.db());
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].description, "Blok odczytany nr 1");
    const auto commands = readCommandsByBlock(b.program.db());
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].block, 2);
    EXPECT_EQ(*commands[0].time, (TimeOfDay{6, 45, 0}));
}

TEST(ProgramTransfer, ReceiveFailuresLeaveTheProgramUntouched) {
    const auto wrongType = ReceivedList{0x200C, imageWithOneBlock()};
    auto shortList = imageWithOneBlock();
    shortList.pop_back();
    struct Case {
        const char* name;
        std::function<void(FakeLink&)> setUp;
        std::string message;
    } cases[] = {
        {"not connected", [](FakeLink& l) { l.connected = false; }, std::string(text::kNotConnected)},
        {"start refused",
         [](FakeLink& l) { l.startFailure = LinkError(E_KT64_BUSY, std::string(kt64::text::kTransferBusy)); },
         std::string(kt64::text::kTransferBusy)},
        {"wrong type", [&](FakeLink& l) { l.list = wrongType; }, std::string(text::kBadVariant)},
        {"2904 bytes",
         [&](FakeLink& l) {
             l.list = ReceivedList{kByteArrayType, shortList};
         },
         std::string(text::kBadVariant)},
        // A stalled download closes the window; the get is then refused.
        {"stalled",
         [](FakeLink& l) {
             l.positions = {700u, 700u};
             l.getFailure = LinkError(E_KT64_BUSY, std::string(kt64::text::kBusyDot));
         },
         std::string(kt64::text::kBusyDot)},
        {"no description", [](FakeLink& l) { l.getFailure = LinkError(E_KT64_BUSY, std::nullopt); },
         std::string(text::kUnknownError)},
    };
    for (const auto& c : cases) {
        Bench b;
        b.link.positions = {2905u, 2905u};
        b.link.list = ReceivedList{kByteArrayType, imageWithOneBlock()};
        c.setUp(b.link);
        insertBlock(b.program.db(), BlockRow{0, 3, "old"});
        const auto copy = b.program.document.workingCopyPath();
        b.transfer.receiveProgram(b.program.document);
        ASSERT_FALSE(b.program.messages.entries.empty()) << c.name;
        EXPECT_EQ(b.program.messages.entries.back().text, c.message) << c.name;
        EXPECT_EQ(b.program.messages.entries.back().icon, MessageIcon::Stop) << c.name;
        EXPECT_EQ(b.program.document.workingCopyPath(), copy) << c.name;
        EXPECT_FALSE(b.program.document.isModified()) << c.name;
        EXPECT_EQ(readBlocks(b.program.db()).size(), 2u) << c.name;
    }
    {
        // Declining the question: nothing at all happens.
        Bench b;
        b.program.messages.answers = {false};
        b.transfer.receiveProgram(b.program.document);
        EXPECT_TRUE(b.link.calls.empty());
    }
}

TEST(ProgramTransfer, AFailedLoadKeepsWhatWasAddedAndSaysSo) {
    Bench b;
    b.link.list = ReceivedList{kByteArrayType, imageWithOneBlock()};
    b.link.positions = {2905u, 2905u};
    // A template whose Rozkazy cannot take rows: the block arrives, the
    // command does not.
    std::filesystem::path broken = b.program.folder.path / "broken.mkk";
    std::filesystem::copy_file(templatePath(), broken);
    Database::open(broken).execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON Rozkazy BEGIN SELECT RAISE(ABORT, 'zapis zabroniony'); END");
    ProgramDocument document(b.program.messages, broken);
    ASSERT_TRUE(document.newDocument());
    b.transfer.receiveProgram(document);
    const auto texts = b.program.messages.texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "Błąd bazy danych: zapis zabroniony");
    EXPECT_EQ(texts[2], text::kCannotLoad);
    EXPECT_EQ(b.program.messages.entries[2].icon, MessageIcon::None);
    EXPECT_TRUE(document.isModified());
    EXPECT_EQ(readBlocks(*document.database()).size(), 2u);
}

}  // namespace
}  // namespace kt64::test
