// Running kt64ctl's commands against the link server.
#include "CtlRunner.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CtlText.h"
#include "FleetStatus.h"
#include "Kt64SrvIds.h"
#include "UploadInterrupt.h"
#include "WholeFile.h"

namespace kt64::ctl {

namespace {

using client::ServerError;
using Steady = std::chrono::steady_clock;

// One getter's answer: the value, or the server's refusal. A failure
// without an error object (connection lost) is not kept: it ends the run.
template <class T>
struct Reading {
    std::optional<T> value;
    std::optional<ServerError> error;
};

template <class T, class Get>
Reading<T> read(Get get) {
    Reading<T> reading;
    try {
        reading.value = get();
    } catch (const ServerError& e) {
        if (!e.description()) throw;
        reading.error = e;
    }
    return reading;
}

struct StatusReport {
    std::string computer;
    Reading<std::uint32_t> comPort;
    Reading<DATE> gmtTime, locTime, lineTime, changeTimeZL, changeTimeLZ;
    Reading<std::uint32_t> alarmFlag, setFlag, keyTimeZL, keyTimeLZ, lineDigitType;
    Reading<double> localOffset;
    Reading<std::string> serialNum, buildType;
    Reading<DATE> syncTime;
    Reading<std::uint32_t> uploadPosition, downloadPosition;

    // The centre's status is valid when the validity-ruled getters answer;
    // GmtTime stands for all of them (they share one rule).
    const std::optional<ServerError>& statusError() const { return gmtTime.error; }
};

StatusReport gatherStatus(client::ServerProxy& srv) {
    StatusReport r;
    r.computer = srv.address().host + ":" + std::to_string(srv.address().port);
    r.comPort = read<std::uint32_t>([&] { return srv.GetComPort(); });
    r.gmtTime = read<DATE>([&] { return srv.GetGmtTime(); });
    r.locTime = read<DATE>([&] { return srv.GetLocTime(); });
    r.lineTime = read<DATE>([&] { return srv.GetLineTime(); });
    r.alarmFlag = read<std::uint32_t>([&] { return srv.GetAlarmFlag(); });
    r.setFlag = read<std::uint32_t>([&] { return srv.GetSetFlag(); });
    r.localOffset = read<double>([&] { return srv.GetLocalOffset(); });
    r.keyTimeZL = read<std::uint32_t>([&] { return static_cast<std::uint32_t>(srv.GetKeyTimeZL()); });
    r.changeTimeZL = read<DATE>([&] { return srv.GetChangeTimeZL(); });
    r.keyTimeLZ = read<std::uint32_t>([&] { return static_cast<std::uint32_t>(srv.GetKeyTimeLZ()); });
    r.changeTimeLZ = read<DATE>([&] { return srv.GetChangeTimeLZ(); });
    r.serialNum = read<std::string>([&] { return srv.GetSerialNum(); });
    r.buildType = read<std::string>([&] { return srv.GetBuildType(); });
    r.lineDigitType = read<std::uint32_t>([&] { return static_cast<std::uint32_t>(srv.GetLineDigitType()); });
    r.syncTime = read<DATE>([&] { return srv.GetSyncTime(); });
    r.uploadPosition = read<std::uint32_t>([&] { return srv.GetRozkazPos(); });
    r.downloadPosition = read<std::uint32_t>([&] { return srv.GetRozkazRxPos(); });
    return r;
}

std::string errorText(const ServerError& e) { return e.displayText() + " (" + formatHresult(e.code()) + ")"; }

template <class T, class Format>
std::string shown(const Reading<T>& reading, Format format) {
    return reading.value ? format(*reading.value) : std::string("-");
}

std::string enumList(const std::vector<EnumText>& entries) {
    if (entries.empty()) return "none";
    std::string text;
    for (const auto& entry : entries)
        text += (text.empty() ? "" : ", ") + std::string(entry.name) + " \"" + std::string(entry.help) + "\"";
    return text;
}

std::string enumName(const EnumText* entry, std::uint32_t value) {
    return entry ? std::string(entry->name) + " \"" + std::string(entry->help) + "\"" : std::to_string(value);
}

void printStatusText(const StatusReport& r, std::ostream& out) {
    auto line = [&](std::string_view label, const std::string& text) {
        out << label << std::string(label.size() < 16 ? 16 - label.size() : 1, ' ') << text << "\n";
    };
    auto flag = [&](std::uint32_t bit) {
        return r.setFlag.value ? std::string((*r.setFlag.value & bit) ? "on" : "off") : std::string("-");
    };
    line("Server", r.computer);
    line("Serial port", r.comPort.value ? std::to_string(*r.comPort.value) : errorText(*r.comPort.error));
    line("Status", r.statusError() ? errorText(*r.statusError()) : "valid");
    line("GMT time", shown(r.gmtTime, formatDateTime));
    line("Local time", shown(r.locTime, formatDateTime));
    line("Local offset", shown(r.localOffset, formatOffset));
    line("Synchronisation", r.syncTime.error ? "not ready: " + errorText(*r.syncTime.error) : "ready");
    line("Alarms", shown(r.alarmFlag, [](std::uint32_t v) { return enumList(alarmBits(v)); }));
    line("Settings", shown(r.setFlag, [](std::uint32_t v) { return enumList(setBits(v)); }));
    line("Analogue line", flag(4) + ", time " + shown(r.lineTime, formatTimeOfDay));
    line("Digital line",
         flag(8) + ", " + shown(r.lineDigitType, [](std::uint32_t v) { return enumName(digLineText(v), v); }));
    line("Time change", flag(1) + ", winter time " + flag(2));
    line("  to summer", shown(r.keyTimeZL, [](std::uint32_t v) { return enumName(keyChgText(v), v); }) + ", " +
                            shown(r.changeTimeZL, formatChangeDate));
    line("  to winter", shown(r.keyTimeLZ, [](std::uint32_t v) { return enumName(keyChgText(v), v); }) + ", " +
                            shown(r.changeTimeLZ, formatChangeDate));
    line("Serial number", shown(r.serialNum, [](const std::string& s) { return s; }));
    line("Build type", shown(r.buildType, [](const std::string& s) { return s; }));
    line("Upload", r.uploadPosition.value ? std::to_string(*r.uploadPosition.value) + " bytes to send"
                                          : errorText(*r.uploadPosition.error));
    line("Download", r.downloadPosition.value ? std::to_string(*r.downloadPosition.value) + " bytes received"
                                              : errorText(*r.downloadPosition.error));
}

std::string jsonError(const std::optional<ServerError>& error) {
    if (!error) return "null";
    return "{\"hresult\": " + jsonString(formatHresult(error->code())) +
           ", \"description\": " + (error->description() ? jsonString(*error->description()) : "null") + "}";
}

template <class T, class Format>
std::string jsonValue(const Reading<T>& reading, Format format) {
    return reading.value ? format(*reading.value) : std::string("null");
}

std::string jsonNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string jsonNames(const std::vector<EnumText>& entries) {
    std::string text = "[";
    for (const auto& entry : entries) text += (text.size() > 1 ? ", " : "") + jsonString(entry.name);
    return text + "]";
}

void printStatusJson(const StatusReport& r, std::ostream& out) {
    auto date = [](DATE d) { return jsonString(formatIsoDateTime(d)); };
    auto number = [](std::uint32_t v) { return std::to_string(v); };
    auto text = [](const std::string& s) { return jsonString(s); };
    auto bit = [&](std::uint32_t mask) {
        return r.setFlag.value ? std::string((*r.setFlag.value & mask) ? "true" : "false") : std::string("null");
    };
    auto key = [](std::uint32_t v) {
        const EnumText* e = keyChgText(v);
        return e ? jsonString(e->name) : std::to_string(v);
    };
    out << "{\n";
    out << "  \"computer\": " << jsonString(r.computer) << ",\n";
    out << "  \"serialPort\": " << jsonValue(r.comPort, number) << ",\n";
    out << "  \"serialPortError\": " << jsonError(r.comPort.error) << ",\n";
    out << "  \"valid\": " << (r.statusError() ? "false" : "true") << ",\n";
    out << "  \"error\": " << jsonError(r.statusError()) << ",\n";
    out << "  \"gmtTime\": " << jsonValue(r.gmtTime, date) << ",\n";
    out << "  \"localTime\": " << jsonValue(r.locTime, date) << ",\n";
    out << "  \"localOffsetDays\": " << jsonValue(r.localOffset, jsonNumber) << ",\n";
    out << "  \"localOffset\": " << jsonValue(r.localOffset, [](double d) { return jsonString(formatOffset(d)); })
        << ",\n";
    out << "  \"syncReady\": " << (r.syncTime.error ? "false" : "true") << ",\n";
    out << "  \"syncError\": " << jsonError(r.syncTime.error) << ",\n";
    out << "  \"alarmFlag\": " << jsonValue(r.alarmFlag, number) << ",\n";
    out << "  \"alarms\": " << jsonValue(r.alarmFlag, [](std::uint32_t v) { return jsonNames(alarmBits(v)); }) << ",\n";
    out << "  \"setFlag\": " << jsonValue(r.setFlag, number) << ",\n";
    out << "  \"settings\": " << jsonValue(r.setFlag, [](std::uint32_t v) { return jsonNames(setBits(v)); }) << ",\n";
    out << "  \"analogLine\": " << bit(4) << ",\n";
    out << "  \"lineTime\": " << jsonValue(r.lineTime, [](DATE d) { return jsonString(formatTimeOfDay(d)); }) << ",\n";
    out << "  \"digitalLine\": " << bit(8) << ",\n";
    out << "  \"lineDigitType\": " << jsonValue(r.lineDigitType, [](std::uint32_t v) {
        const EnumText* e = digLineText(v);
        return e ? jsonString(e->name) : std::to_string(v);
    }) << ",\n";
    out << "  \"changeTimeOn\": " << bit(1) << ",\n";
    out << "  \"winterTime\": " << bit(2) << ",\n";
    out << "  \"keyTimeZL\": " << jsonValue(r.keyTimeZL, key) << ",\n";
    out << "  \"changeTimeZL\": " << jsonValue(r.changeTimeZL, [](DATE d) { return jsonString(formatChangeDate(d)); })
        << ",\n";
    out << "  \"keyTimeLZ\": " << jsonValue(r.keyTimeLZ, key) << ",\n";
    out << "  \"changeTimeLZ\": " << jsonValue(r.changeTimeLZ, [](DATE d) { return jsonString(formatChangeDate(d)); })
        << ",\n";
    out << "  \"serialNum\": " << jsonValue(r.serialNum, text) << ",\n";
    out << "  \"buildType\": " << jsonValue(r.buildType, text) << ",\n";
    out << "  \"rozkazPos\": " << jsonValue(r.uploadPosition, number) << ",\n";
    out << "  \"rozkazPosError\": " << jsonError(r.uploadPosition.error) << ",\n";
    out << "  \"rozkazRxPos\": " << jsonValue(r.downloadPosition, number) << ",\n";
    out << "  \"rozkazRxPosError\": " << jsonError(r.downloadPosition.error) << "\n";
    out << "}\n";
}

// The transfer's progress on err: "[#####.....]  1234/2905 bytes".
class ProgressBar {
public:
    ProgressBar(std::ostream& err, bool enabled, std::string_view what) : err_(err), enabled_(enabled), what_(what) {}
    ~ProgressBar() {
        if (enabled_ && drawn_) err_ << "\n" << std::flush;
    }

    void show(std::size_t done, std::size_t total) {
        if (!enabled_) return;
        constexpr std::size_t width = 40;
        std::size_t filled = total == 0 ? width : std::min(width, done * width / total);
        err_ << "\r" << what_ << " [" << std::string(filled, '#') << std::string(width - filled, '.') << "] " << done
             << "/" << total << " bytes" << std::flush;
        drawn_ = true;
    }

private:
    std::ostream& err_;
    bool enabled_;
    std::string what_;
    bool drawn_ = false;
};

// Why the centre is not being read: the status error the server reports
// (port, no answer, paused), or "" while the status is valid.
std::string centreTrouble(client::ServerProxy& srv) {
    try {
        srv.GetGmtTime();
        return {};
    } catch (const ServerError& e) {
        if (!e.description()) throw;
        return errorText(e);
    }
}

// Polls position() until finished(position) holds; throws CtlError when the
// position stays put for the stall time, naming what stalled it.
template <class Position, class Finished, class Show>
void follow(client::ServerProxy& srv, Position position, Finished finished, Show show, const RunSettings& settings,
            std::string_view what) {
    std::optional<std::uint32_t> last;
    auto lastChange = Steady::now();
    while (true) {
        std::uint32_t pos = position();
        show(pos);
        if (finished(pos)) return;
        if (pos != last) {
            last = pos;
            lastChange = Steady::now();
        } else if (Steady::now() - lastChange > settings.stallTimeout) {
            const std::string trouble = centreTrouble(srv);
            throw CtlError(
                std::string(what) + " stalled at " + std::to_string(pos) + " bytes" +
                (trouble.empty() ? ": the centre answers status requests but not the transfer" : ": " + trouble));
        }
        std::this_thread::sleep_for(settings.pollInterval);
    }
}

// Written beside the target and renamed over it, so that a failed write
// never leaves half an image under the target's name.
void writeImage(const std::string& file, const std::vector<std::uint8_t>& image) {
    std::filesystem::path target(file);
    std::filesystem::path temp = target;
    temp += ".part";
    {
        std::ofstream outFile(temp, std::ios::binary | std::ios::trunc);
        outFile.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        outFile.close();
        if (!outFile) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            throw CtlError("cannot write " + temp.string());
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw CtlError("cannot write " + file + ": " + ec.message());
    }
}

void upload(const Command& cmd, client::ServerProxy& srv, std::ostream& out, std::ostream& err,
            const RunSettings& settings) {
    const std::vector<std::uint8_t>& image = cmd.image;
    if (image.size() != kImageSize) throw CtlError("the image of " + displayName(cmd.file) + " was not read");
    srv.PutRozkazy(image);
    // From here on the server sends the list to its end without us.
    const UploadInterruptNotice notice(
        uploadInterruptedText(cmd.computer.empty() ? std::string() : "--computer " + cmd.computer));
    ProgressBar bar(err, settings.progressBar, "upload");
    const std::size_t total = image.size();
    // RozkazPos counts the bytes still to send; 0 when the upload is over.
    follow(
        srv, [&] { return srv.GetRozkazPos(); }, [](std::uint32_t pos) { return pos == 0; },
        [&](std::uint32_t pos) { bar.show(pos >= total ? 0 : total - pos, total); }, settings, "upload");
    out << "uploaded " << total << " bytes from " << cmd.file << "\n";
}

void download(const Command& cmd, client::ServerProxy& srv, std::ostream& out, std::ostream& err,
              const RunSettings& settings) {
    srv.StartGetRozkazy();
    {
        ProgressBar bar(err, settings.progressBar, "download");
        follow(
            srv, [&] { return srv.GetRozkazRxPos(); }, [](std::uint32_t pos) { return pos >= kImageSize; },
            [&](std::uint32_t pos) { bar.show(pos, kImageSize); }, settings, "download");
    }
    client::VariantArray image = srv.GetRozkazy();
    if (image.vt != client::kVtArrayUi1 || image.bytes.size() != kImageSize)
        throw CtlError("the server returned a VARIANT of type " + formatHresult(static_cast<std::int32_t>(image.vt)) +
                       " with " + std::to_string(image.bytes.size()) + " bytes, not a " + std::to_string(kImageSize) +
                       "-byte command list");
    writeImage(cmd.file, image.bytes);
    out << "downloaded " << image.bytes.size() << " bytes to " << cmd.file << "\n";
}

// A setter only queues its request; the worker sends it with the next
// exchange. The first reading ends the exchange under way; after it, the
// first reading with a valid status is the one that carried the request.
// A port that cannot be opened, a silent centre or a pause is retried for a
// few readings (a port just changed takes one retry to open) and then
// reported with the server's text: the request stays queued meanwhile.
int confirmSent(client::ServerProxy& srv, std::ostream& out, std::ostream& err, const std::string& sent) {
    constexpr int kReadings = 3;
    srv.WaitForDeviceRead();
    std::string trouble;
    for (int i = 0; i < kReadings; ++i) {
        srv.WaitForDeviceRead();
        trouble = centreTrouble(srv);
        if (trouble.empty()) {
            out << sent;
            return 0;
        }
    }
    err << "not sent: " << trouble << "\n(the request stays queued until the centre answers)\n";
    return 1;
}

}  // namespace

void readInputs(Command& cmd) {
    if (!cmd.computersFile.empty()) {
        std::vector<ListedComputer> listed;
        try {
            listed = readComputerList(cmd.computersFile);
        } catch (const FileError& e) {
            throw CtlError(e.what());
        }
        if (listed.empty()) throw CtlError(displayName(cmd.computersFile) + ": names no computer");
        cmd.labels.resize(cmd.computers.size());
        for (auto& site : listed) {
            cmd.computers.push_back(std::move(site.computer));
            cmd.labels.push_back(std::move(site.label));
        }
    }
    if (cmd.verb != Verb::Upload) return;
    try {
        const std::string bytes = readWholeFile(cmd.file, {kImageSize, kImageSize, "a command list has 2905"});
        cmd.image.assign(bytes.begin(), bytes.end());
    } catch (const FileError& e) {
        throw CtlError(e.what());
    }
}

int runCommand(const Command& cmd, client::ServerProxy& srv, std::ostream& out, std::ostream& err,
               const RunSettings& settings) {
    switch (cmd.verb) {
    case Verb::Help:
        out << kUsage;
        return 0;
    case Verb::Status: {
        client::awaitFirstExchange(srv);
        StatusReport report = gatherStatus(srv);
        if (cmd.json)
            printStatusJson(report, out);
        else
            printStatusText(report, out);
        return report.statusError() ? 1 : 0;
    }
    case Verb::Watch:
        // One connection and one lease for the whole watch; a refused getter
        // shows in the report, a lost connection ends the watch (exit 1).
        client::awaitFirstExchange(srv);
        for (unsigned round = 0; cmd.count == 0 || round < cmd.count; ++round) {
            if (round > 0) std::this_thread::sleep_for(std::chrono::milliseconds(cmd.intervalMs));
            StatusReport report = gatherStatus(srv);
            if (settings.clearScreen)
                out << "\033[H\033[2J";
            else if (round > 0)
                out << "\n";
            if (cmd.json)
                printStatusJson(report, out);
            else
                printStatusText(report, out);
            out.flush();
        }
        return 0;
    case Verb::SetTime: {
        DATE time = cmd.now ? dateFromSystemClock(settings.clock()) : cmd.gmtTime;
        srv.PutGmtTime(time);
        return confirmSent(srv, out, err, "GMT time sent: " + formatDateTime(time) + "\n");
    }
    case Verb::Lines: {
        // Only the two line bits count for the server; the other line keeps
        // its current state.
        std::uint32_t flags = srv.GetSetFlag();
        if (cmd.analog) flags = *cmd.analog ? flags | ids::S_LINE1ANALON : flags & ~std::uint32_t{ids::S_LINE1ANALON};
        if (cmd.digital)
            flags = *cmd.digital ? flags | ids::S_LINE1DIGITON : flags & ~std::uint32_t{ids::S_LINE1DIGITON};
        srv.PutSetFlag(flags);
        return confirmSent(srv, out, err,
                           std::string("lines sent: analogue ") + ((flags & ids::S_LINE1ANALON) ? "on" : "off") +
                               ", digital " + ((flags & ids::S_LINE1DIGITON) ? "on" : "off") + "\n");
    }
    case Verb::LineTime:
        srv.PutLineTime(cmd.lineTime);
        return confirmSent(srv, out, err, "analogue line time sent: " + formatTimeOfDay(cmd.lineTime) + "\n");
    case Verb::Offset:
        srv.PutLocalOffset(cmd.offsetDays);
        return confirmSent(srv, out, err, "local offset sent: " + formatOffset(cmd.offsetDays) + "\n");
    case Verb::ChangeRule:
        // The server sends all of these to the centre in one parameters frame.
        if (cmd.changeOn) srv.PutChangeTimeOn(*cmd.changeOn ? 1u : 0u);
        if (cmd.winterToSummer) {
            srv.PutKeyTimeZL(static_cast<client::EKeyChg>(cmd.winterToSummer->key));
            srv.PutChangeTimeZL(cmd.winterToSummer->date);
        }
        if (cmd.summerToWinter) {
            srv.PutKeyTimeLZ(static_cast<client::EKeyChg>(cmd.summerToWinter->key));
            srv.PutChangeTimeLZ(cmd.summerToWinter->date);
        }
        return confirmSent(srv, out, err, "change rule sent\n");
    case Verb::DigitalType:
        srv.PutLineDigitType(static_cast<client::EDigLine>(cmd.digitalType));
        return confirmSent(srv, out, err,
                           "digital line type sent: " + enumName(digLineText(cmd.digitalType), cmd.digitalType) + "\n");
    case Verb::Pause:
        srv.ComunicationEnable(0);
        out << "communication paused\n";
        return 0;
    case Verb::Resume:
        srv.ComunicationEnable(1);
        out << "communication resumed\n";
        return 0;
    case Verb::Wait:
        for (unsigned i = 0; i < cmd.count; ++i) {
            srv.WaitForDeviceRead();
            // While communication is paused the server still releases
            // waiters about once a second, but the centre is not read.
            try {
                srv.GetGmtTime();
            } catch (const ServerError& e) {
                if (!e.description()) throw;
                if (e.code() == E_KT64_PAUSED)
                    err << "communication is paused: " << errorText(e) << "\n(kt64ctl resume switches it on)\n";
                else
                    err << "the centre was not read: " << errorText(e) << "\n";
                return 1;
            }
        }
        out << "centre read " << cmd.count << (cmd.count == 1 ? " time\n" : " times\n");
        return 0;
    case Verb::Port:
        if (cmd.port) {
            srv.SetComPort(*cmd.port);
            out << "serial port set to " << *cmd.port << "\n";
        } else {
            std::uint32_t port = srv.GetComPort();
            if (cmd.json)
                out << "{\"serialPort\": " << port << "}\n";
            else
                out << port << "\n";
        }
        return 0;
    case Verb::Upload:
        upload(cmd, srv, out, err, settings);
        return 0;
    case Verb::Download:
        download(cmd, srv, out, err, settings);
        return 0;
    }
    return 0;
}

}  // namespace kt64::ctl
