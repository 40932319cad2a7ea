// Parsing of kt64ctl's command line.
#include "CtlCommand.h"

#include <charconv>
#include <vector>

#include "CtlText.h"
#include "OptionScanner.h"

namespace kt64::ctl {

const char* const kUsage =
    "Usage: kt64ctl [--computer NAME[:PORT]] [--json] [TLS OPTIONS] COMMAND [ARGS]\n"
    "       kt64ctl --computer NAME --computer NAME ... | --computers FILE [--json] [status]\n"
    "\n"
    "Commands (the link server of this computer unless --computer is given):\n"
    "  status                          the centre's state (default; --json for scripts)\n"
    "  watch [INTERVAL_MS [COUNT]]     the state again every INTERVAL_MS (300), COUNT times\n"
    "                                  (0 or none: until interrupted)\n"
    "  set-time now|'YYYY-MM-DD HH:MM[:SS]'\n"
    "                                  set the centre's GMT time (now = the PC's clock)\n"
    "  lines [--analog on|off] [--digital on|off]\n"
    "                                  start or stop the analogue (LA) and digital (LC) lines\n"
    "  line-time HH:MM                 the time the analogue slave clocks show\n"
    "  offset HOURS                    local offset from GMT: +1, -5.5, +05:45\n"
    "  change-rule [on|off] [--zl WHICH DD.MM H] [--lz WHICH DD.MM H]\n"
    "                                  daylight-saving change: switch, winter-to-summer (zl)\n"
    "                                  and summer-to-winter (lz) change; WHICH = last, 1..4\n"
    "                                  (which Sunday), H = hour 0..9\n"
    "  digital-type GGMM|GGMMSS|GGMMSSDDMMYY\n"
    "                                  telegram of the digital line\n"
    "  pause | resume                  stop or resume the server's communication with the centre\n"
    "  wait [COUNT]                    wait for COUNT fresh reads of the centre (default 1)\n"
    "  port [N]                        show or set the serial port number of the server\n"
    "  upload FILE                     send a 2905-byte command-list image to the centre\n"
    "  download FILE                   read the centre's command list into FILE\n"
    "\n"
    "NAME is a computer name or address; PORT defaults to the RpcPort value of\n"
    "HKLM\\Software\\Ardonis\\Kt64Srv (6464).\n"
    "Several sites: with more than one --computer, or --computers FILE (one NAME a\n"
    "line, # starts a comment: after a NAME it is the site's label), status reads\n"
    "every site at once and prints one line each: whether its centre answers, the\n"
    "centre's GMT less this PC's clock, alarms, lines and the last error; exit code 1\n"
    "when any centre does not answer. A site not reached says why (connection\n"
    "refused, timed out, name does not resolve) and what to do.\n"
    "With --json the output is JSON also when the command fails: {\"computer\",\n"
    "\"error\": {\"hresult\", \"text\", \"cause\", \"fix\", ...}} (exit code 1).\n"
    "TLS OPTIONS, for a server that requires TLS (default: the registry values\n"
    "TlsServerCA, TlsClientCertificate, TlsClientKey of the same key):\n"
    "  --tls-ca FILE     CA certificate(s) the server's certificate chains to (PEM)\n"
    "  --tls-cert FILE   this client's certificate (PEM), with --tls-key FILE its key\n"
    "Exit codes: 0 done, 1 failed (the server refused or reported an error, or there\n"
    "is no connection to it; the reason is printed), 2 wrong command line.\n";

namespace {

struct VerbName {
    std::string_view name;
    Verb verb;
};

constexpr VerbName kVerbs[] = {
    {"status", Verb::Status},
    {"set-time", Verb::SetTime},
    {"lines", Verb::Lines},
    {"line-time", Verb::LineTime},
    {"offset", Verb::Offset},
    {"change-rule", Verb::ChangeRule},
    {"digital-type", Verb::DigitalType},
    {"pause", Verb::Pause},
    {"resume", Verb::Resume},
    {"wait", Verb::Wait},
    {"watch", Verb::Watch},
    {"port", Verb::Port},
    {"upload", Verb::Upload},
    {"download", Verb::Download},
    {"help", Verb::Help},
};

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

bool onOff(std::string_view text, std::string_view what) {
    if (text == "on" || text == "1") return true;
    if (text == "off" || text == "0") return false;
    throw UsageError(std::string(what) + " must be on or off, not " + quoted(text));
}

std::optional<std::uint32_t> unsignedNumber(std::string_view text) {
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The operands of one command, consumed front to back.
class Operands {
public:
    Operands(std::string_view verb, std::vector<std::string_view> items) : verb_(verb), items_(std::move(items)) {}

    bool empty() const { return next_ == items_.size(); }
    std::string_view peek() const { return items_[next_]; }
    std::string_view take(std::string_view what) {
        if (empty()) throw UsageError(std::string(verb_) + ": missing " + std::string(what));
        return items_[next_++];
    }
    void finish() const {
        if (!empty()) throw UsageError(std::string(verb_) + ": unexpected " + quoted(items_[next_]));
    }

private:
    std::string_view verb_;
    std::vector<std::string_view> items_;
    std::size_t next_ = 0;
};

TimeChange timeChange(Operands& ops, std::string_view option) {
    std::string_view which = ops.take(std::string(option) + " WHICH");
    std::string_view dayMonth = ops.take(std::string(option) + " DD.MM");
    std::string_view hour = ops.take(std::string(option) + " H");
    auto key = parseKeyChg(which);
    if (!key) throw UsageError(std::string(option) + ": WHICH must be last, 1, 2, 3 or 4, not " + quoted(which));
    auto date = parseChangeDate(dayMonth, hour);
    if (!date)
        throw UsageError(std::string(option) + ": no such change date " + quoted(dayMonth) + " hour " + quoted(hour) +
                         " (DD.MM and an hour 0..9)");
    return TimeChange{*key, *date};
}

void parseOperands(Command& cmd, Operands& ops) {
    switch (cmd.verb) {
    case Verb::Help:
    case Verb::Status:
    case Verb::Pause:
    case Verb::Resume:
        break;
    case Verb::SetTime: {
        std::string text(ops.take("time (now or 'YYYY-MM-DD HH:MM[:SS]')"));
        // The date and the time may also come as two words.
        if (text != "now" && text.find_first_of(" T") == std::string::npos && !ops.empty())
            text += " " + std::string(ops.take("time"));
        if (text == "now") {
            cmd.now = true;
        } else if (auto date = parseDateTime(text)) {
            cmd.gmtTime = *date;
        } else {
            throw UsageError("set-time: not a date and time: " + quoted(text) + " (YYYY-MM-DD HH:MM[:SS])");
        }
        break;
    }
    case Verb::Lines:
        while (!ops.empty()) {
            std::string_view option = ops.take("option");
            if (option == "--analog")
                cmd.analog = onOff(ops.take("--analog on|off"), "--analog");
            else if (option == "--digital")
                cmd.digital = onOff(ops.take("--digital on|off"), "--digital");
            else
                throw UsageError("lines: unknown option " + quoted(option));
        }
        if (!cmd.analog && !cmd.digital) throw UsageError("lines: give --analog on|off and/or --digital on|off");
        break;
    case Verb::LineTime: {
        std::string_view text = ops.take("time HH:MM");
        auto time = parseTimeOfDay(text);
        if (!time) throw UsageError("line-time: not a time of day: " + quoted(text));
        cmd.lineTime = *time;
        break;
    }
    case Verb::Offset: {
        std::string_view text = ops.take("offset in hours");
        auto days = parseOffset(text);
        if (!days) throw UsageError("offset: not an offset in hours (whole minutes, under 24 h): " + quoted(text));
        cmd.offsetDays = *days;
        break;
    }
    case Verb::ChangeRule:
        while (!ops.empty()) {
            std::string_view option = ops.take("option");
            if (option == "on" || option == "off")
                cmd.changeOn = option == "on";
            else if (option == "--zl")
                cmd.winterToSummer = timeChange(ops, "--zl");
            else if (option == "--lz")
                cmd.summerToWinter = timeChange(ops, "--lz");
            else
                throw UsageError("change-rule: unknown option " + quoted(option));
        }
        if (!cmd.changeOn && !cmd.winterToSummer && !cmd.summerToWinter)
            throw UsageError("change-rule: give on|off, --zl and/or --lz");
        break;
    case Verb::DigitalType: {
        std::string_view text = ops.take("telegram type");
        auto type = parseDigLine(text);
        if (!type) throw UsageError("digital-type: must be GGMM, GGMMSS or GGMMSSDDMMYY, not " + quoted(text));
        cmd.digitalType = *type;
        break;
    }
    case Verb::Wait:
        if (!ops.empty()) {
            std::string_view text = ops.take("count");
            auto count = unsignedNumber(text);
            if (!count || *count == 0) throw UsageError("wait: COUNT must be a positive number, not " + quoted(text));
            cmd.count = *count;
        }
        break;
    case Verb::Watch: {
        cmd.count = 0;
        if (!ops.empty()) {
            std::string_view text = ops.take("interval");
            auto interval = unsignedNumber(text);
            if (!interval || *interval < 50 || *interval > 60000)
                throw UsageError("watch: INTERVAL_MS must be 50 to 60000, not " + quoted(text));
            cmd.intervalMs = *interval;
        }
        if (!ops.empty()) {
            std::string_view text = ops.take("count");
            auto count = unsignedNumber(text);
            if (!count) throw UsageError("watch: COUNT must be a number, not " + quoted(text));
            cmd.count = *count;
        }
        break;
    }
    case Verb::Port:
        if (!ops.empty()) {
            std::string_view text = ops.take("port number");
            auto port = unsignedNumber(text);
            if (!port) throw UsageError("port: not a port number: " + quoted(text));
            cmd.port = *port;
        }
        break;
    case Verb::Upload:
    case Verb::Download:
        cmd.file = std::string(ops.take("FILE"));
        break;
    }
    ops.finish();
}

}  // namespace

Command parseCommandLine(std::span<const std::string_view> args) {
    static const std::vector<cli::OptionSpec> kOptions = {{"--help", false},
                                                          {"-h", false},
                                                          {"--json", false},
                                                          {"--computer", true, "a computer name"},
                                                          {"--computers", true, "a file of computer names"},
                                                          {"--tls-ca", true, "a file"},
                                                          {"--tls-cert", true, "a file"},
                                                          {"--tls-key", true, "a file"}};
    cli::ScannedLine line;
    try {
        // "lines --analog on", "change-rule --zl ...": options after the
        // command that are not kt64ctl's own belong to the command.
        line = cli::scanOptions(std::vector<std::string>(args.begin(), args.end()), kOptions,
                                cli::AfterCommand::CommandOptions);
    } catch (const cli::OptionError& e) {
        throw UsageError(e.what());
    }
    Command cmd;
    if (line.has("--help") || line.has("-h")) {
        cmd.verb = Verb::Help;
        return cmd;
    }
    for (const auto& [name, value] : line.options) {
        if (name == "--json")
            cmd.json = true;
        else if (name == "--computer")
            cmd.computers.push_back(value);
        else if (name == "--computers")
            cmd.computersFile = value;
        else
            (name == "--tls-ca" ? cmd.tls.serverCA : name == "--tls-cert" ? cmd.tls.certificate : cmd.tls.key) = value;
    }
    std::optional<std::string_view> verbName;
    std::vector<std::string_view> operands;
    for (const std::string& word : line.positional) {
        if (!verbName)
            verbName = word;
        else
            operands.push_back(word);
    }
    if (verbName) {
        bool known = false;
        for (const auto& entry : kVerbs)
            if (entry.name == *verbName) {
                cmd.verb = entry.verb;
                known = true;
            }
        if (!known) throw UsageError("unknown command " + quoted(*verbName));
    }
    Operands ops(verbName.value_or("status"), std::move(operands));
    parseOperands(cmd, ops);
    if (!cmd.computers.empty()) cmd.computer = cmd.computers.front();
    if (readsManySites(cmd) && cmd.verb != Verb::Status)
        throw UsageError("several computers are read only by status (one line each), not by " +
                         quoted(verbName.value_or("status")));
    return cmd;
}

}  // namespace kt64::ctl
