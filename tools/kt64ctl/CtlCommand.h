// The command line of kt64ctl, parsed into one command with checked values
// (nothing here talks to the server).
#pragma once

#include "Kt64Client.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "OleDate.h"

namespace kt64::ctl {

enum class Verb {
    Help,
    Status,       // show everything the centre reports
    Watch,        // the status again and again, until interrupted
    SetTime,      // PutGmtTime
    Lines,        // PutSetFlag (line bits)
    LineTime,     // PutLineTime
    Offset,       // PutLocalOffset
    ChangeRule,   // PutChangeTimeOn / PutKeyTimeZL / PutChangeTimeZL / ...LZ
    DigitalType,  // PutLineDigitType
    Pause,        // ComunicationEnable(0)
    Resume,       // ComunicationEnable(1)
    Wait,         // WaitForDeviceRead
    Port,         // GetComPort / SetComPort
    Upload,       // PutRozkazy + RozkazPos
    Download,     // StartGetRozkazy + RozkazRxPos + GetRozkazy
};

// One daylight-saving change: which Sunday (EKeyChg), and the date and hour
// on 1900 as the centre keeps it.
struct TimeChange {
    std::uint32_t key = 0;
    DATE date = 0;
};

struct Command {
    Verb verb = Verb::Status;
    std::string computer;  // "" = this computer
    // Every --computer in order, and the file of --computers: with more
    // than one site (or a file) status shows one line per site.
    std::vector<std::string> computers;
    std::string computersFile;
    // The label of each of computers: the comment on its line of the file,
    // "" for a --computer (readInputs keeps the two in step).
    std::vector<std::string> labels;
    client::ClientTls tls;  // empty: the registry's TLS values
    bool json = false;

    bool now = false;              // SetTime: the PC's clock at run time
    DATE gmtTime = 0;              // SetTime otherwise
    std::optional<bool> analog;    // Lines
    std::optional<bool> digital;   // Lines
    DATE lineTime = 0;             // LineTime
    double offsetDays = 0;         // Offset
    std::optional<bool> changeOn;  // ChangeRule
    std::optional<TimeChange> winterToSummer;
    std::optional<TimeChange> summerToWinter;
    std::uint32_t digitalType = 0;      // DigitalType (EDigLine)
    unsigned count = 1;                 // Wait; Watch: rounds, 0 = until interrupted
    unsigned intervalMs = 300;          // Watch: pause between two reports
    std::optional<std::uint32_t> port;  // Port: set when given
    std::string file;                   // Upload / Download
    std::vector<std::uint8_t> image;    // Upload: file's content (readInputs)
};

// A mistake on the command line; the text says what is wrong.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether cmd reads many sites (several --computer, or --computers).
inline bool readsManySites(const Command& cmd) { return cmd.computers.size() > 1 || !cmd.computersFile.empty(); }

// Parses the arguments after the program name. Options (--computer NAME,
// --computer=NAME, --json, --help) may stand anywhere; no command means
// status. Throws UsageError.
Command parseCommandLine(std::span<const std::string_view> args);

extern const char* const kUsage;

}  // namespace kt64::ctl
