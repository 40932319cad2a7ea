// kt64prog's commands (see ProgRunner.h).
#include "ProgRunner.h"

#include <algorithm>
#include <fstream>
#include <string_view>

#include "CalendarImport.h"
#include "ChartGeometry.h"
#include "DateRangePlan.h"
#include "HolidayCalendar.h"
#include "CommandImage.h"
#include "ImageCompiler.h"
#include "NewYearSplit.h"
#include "ProgramDocument.h"
#include "ProgramEvaluator.h"
#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "ProgramTransfer.h"
#include "SwitchingFormats.h"
#include "Switchings.h"
#include "TerminalMessages.h"
#include "TextFormat.h"
#include "WholeFile.h"

namespace kt64::prog {

using namespace program;

namespace {

// A failure of the command itself (not a message of the program core).
struct Failure {
    std::string text;
};

constexpr std::string_view kImageSizeRule = "a command list has 2905";

void openProgram(ProgramDocument& doc, TerminalMessages& messages, const std::string& file) {
    const int shownBefore = messages.messagesShown();
    if (!doc.openDocument(file)) {
        // One message per failure: when the document has shown its own (a
        // file that is not a program), nothing is added.
        if (messages.messagesShown() > shownBefore) throw Failure{};
        throw Failure{doc.failureText()};
    }
}

// A date or command for a block the program lacks would vanish when the
// command list is built: refused at once.
void requireBlock(Database& db, std::int64_t block, const std::string& file) {
    for (const auto& b : readBlocks(db))
        if (b.id == block) return;
    throw Failure{formatText("%s has no block %lld (add-block makes one; list shows them)", displayName(file).c_str(),
                             static_cast<long long>(block))};
}

void saveProgram(ProgramDocument& doc, const std::string& file) {
    if (!doc.saveDocument(file)) throw Failure{displayName(file) + ": " + doc.failureText()};
}

void refuseExisting(const ProgCommand& c) {
    std::error_code ec;
    if (!c.force && std::filesystem::symlink_status(c.file, ec).type() != std::filesystem::file_type::not_found)
        throw Failure{displayName(c.file) + " already exists (--force replaces it)"};
}

std::string dateText(const std::optional<CivilDate>& d, bool yearBound) {
    if (!d) return "----------";
    return yearBound ? formatText("%.4d-%.2d-%.2d", d->year, d->month, d->day)
                     : formatText("****-%.2d-%.2d", d->month, d->day);
}

// text left-aligned in width characters (UTF-8 letters count as one).
std::string padded(const std::string& text, std::size_t width) {
    std::size_t letters = 0;
    for (const unsigned char ch : text) letters += (ch & 0xC0) != 0x80;
    return text + std::string(letters < width ? width - letters : 1, ' ');
}

std::string lengthText(std::int64_t v, bool minutes) {
    return formatText("%lld %s", static_cast<long long>(v), minutes ? "min" : "sek");
}

void list(Database& db, std::ostream& out) {
    out << "Bloki\n  Lp.  Pr.  Opis\n";
    for (const auto& b : readBlocks(db))
        out << formatText("  %-4lld %-4lld ", static_cast<long long>(b.id), static_cast<long long>(b.priority))
            << b.description << "\n";
    out << "Daty\n  Lp.  Data pocz.  Data konc.  Blok  Opis\n";
    for (const auto& d : readDatesByBlock(db))
        out << formatText("  %-4lld %-11s %-11s %-5lld ", static_cast<long long>(d.id),
                          dateText(d.from, d.inItsYearOnly).c_str(), dateText(d.to, d.inItsYearOnly).c_str(),
                          static_cast<long long>(d.block))
            << d.description << "\n";
    out << "Rozkazy\n  Lp.  Godz.  Operacja   Pk  pn wt śr cz pt so nd  Impuls    Cykl      Blok  Opis\n";
    for (const auto& c : readCommandsByBlock(db)) {
        const std::string time = c.time ? formatText("%d:%.2d", c.time->hour, c.time->minute) : "--:--";
        const std::string op = c.operation >= 0 && c.operation <= 5
                                   ? std::string(kOperationNames[static_cast<std::size_t>(c.operation)])
                                   : formatText("%lld", static_cast<long long>(c.operation));
        std::string days;
        for (int bit = 0; bit < 7; ++bit) days += (c.weekdays & (1 << bit)) ? " x " : " . ";
        const bool impulse = c.operation >= 2 && c.operation <= 5, cycle = c.operation == 4 || c.operation == 5;
        out << formatText("  %-4lld %-6s ", static_cast<long long>(c.id), time.c_str()) << padded(op, 11)
            << formatText("%-3lld", static_cast<long long>(c.relay)) << days
            << formatText(" %-9s %-9s %-5lld ", impulse ? lengthText(c.impulse, c.impulseInMinutes).c_str() : "",
                          cycle ? lengthText(c.cycle, c.cycleInMinutes).c_str() : "", static_cast<long long>(c.block))
            << c.description << "\n";
    }
}

// One line per change of a relay's state over the chart's span.
void chart(ProgramDocument& doc, TerminalMessages& messages, const ChartGeometry& g, std::ostream& out) {
    ProgramEvaluator evaluator(doc.database(), messages);
    for (int row = 0; row < ProgramEvaluator::kRows; ++row) {
        out << "Przekaźnik: " << row + 1 << "\n";
        evaluator.beginRow(row);
        std::optional<std::uint32_t> previous;
        for (int x = g.firstColumn(); x <= g.lastColumn(); ++x) {
            const LocalSeconds t = g.columnTime(x);
            const std::uint32_t state = evaluator.evaluate(t, row);
            if (previous && *previous == state) continue;
            previous = state;
            const SampleRecord* s = evaluator.sample(row, static_cast<std::size_t>(x - g.firstColumn()));
            const CivilDate d = dateOf(t);
            const TimeOfDay tod = timeOf(t);
            const std::uint32_t code = state & kOperationMask;
            out << formatText("  %04d-%02d-%02d %02d:%02d  %-3s ", d.year, d.month, d.day, tod.hour, tod.minute,
                              code == kNothingInForce ? ""
                              : (state & kRelayOnBit) ? "on"
                                                      : "off")
                << stateName(code);
            if (s && s->id != 0) out << formatText("  (Rozkaz %d, Blok %d)", s->id, s->block);
            out << "\n";
        }
        evaluator.endRow(row);
    }
}

// A range as add-holidays and import-calendar print it.
std::string rangeLine(char sign, const DateRow& d) {
    return formatText("%c %-11s %-11s ", sign, dateText(d.from, d.inItsYearOnly).c_str(),
                      dateText(d.to, d.inItsYearOnly).c_str()) +
           d.description + "\n";
}

// add-holidays and import-calendar: the ranges go to the named block of
// days off, made when the program has no block of that description; a block
// with commands (or below one) is refused, naming the block to use. The
// whole change fits the centre's list or nothing is written. Prints the
// block's number, then what was done: the block made, each range added
// ("+") and removed ("-"), each event left out.
int addDaysOff(const ProgCommand& c, ProgEnvironment& env, ProgramDocument& doc, TerminalMessages& messages) {
    openProgram(doc, messages, c.file);
    Database& db = *doc.database();
    const CivilDate today = env.today();
    const auto [defaultFrom, defaultTo] = fiveSchoolYears(today);
    const int from = c.fromYear.value_or(c.toYear ? std::min(defaultFrom, *c.toYear) : defaultFrom);
    const int to = c.toYear.value_or(std::max(from, defaultTo));
    CalendarOptions options{from, to, c.zone.empty() ? std::string(kCentreZone) : c.zone, c.shortTimedEvents};
    CalendarContents calendar;
    if (c.verb == Verb::ImportCalendar) {
        try {
            calendar = readCalendarFile(c.calendar, options);
        } catch (const CalendarError& e) {
            throw Failure{e.what()};
        }
    }
    const bool numbered = !c.blockName.empty() && c.blockName.find_first_not_of("0123456789") == std::string::npos;
    std::int64_t block = findBlock(db, c.blockName);
    if (block == kBaseBlock)
        throw Failure{"block 1 holds the commands of every day and has no dates: name another block or a new one"};
    // A number names a block that is there (checked as a number when the
    // line was read); only a description makes one.
    const std::int64_t checked = numbered && block == 0 ? std::stoll(c.blockName) : block;
    if (const std::string why = daysOffRefusal(db, checked); !why.empty())
        throw Failure{displayName(c.file) + ": " + why};

    const auto listSkipped = [&] {
        for (const auto& event : calendar.skipped) env.out << "pominięto " << event << "\n";
        if (!calendar.skipped.empty())
            env.out << "(wydarzenia z godziną krótsze niż dzień lekcji, 8:00-15:00; --timed-events je dodaje)\n";
    };
    if (c.verb == Verb::ImportCalendar && calendar.ranges.empty()) {
        listSkipped();
        env.out << formatText(
            "Nic do zaimportowania: kalendarz „%s” nie ma dni wolnych w latach %d-%d. Program "
            "bez zmian.\n",
            calendar.name.c_str(), from, to);
        return 0;
    }
    const auto plan = c.verb == Verb::AddHolidays ? planHolidays(db, block, c.blockName, from, to, today)
                                                  : planCalendarImport(db, block, c.blockName, calendar, options);
    if (!plan.fits()) throw Failure{displayName(c.file) + ": " + plan.refusal()};
    if (plan.added.empty() && plan.removed.empty()) {
        env.out << block << "\nBez zmian: blok ma już wszystkie te dni.\n";
        listSkipped();
        return 0;
    }
    block = applyDateRangePlan(db, plan);
    saveProgram(doc, c.file);
    env.out << block << "\n";
    if (plan.block == 0)
        env.out << formatText("nowy blok %lld „%s”: priorytet %lld, bez rozkazów\n", static_cast<long long>(block),
                              c.blockName.c_str(), static_cast<long long>(kDaysOffPriority));
    for (const auto& d : plan.added) env.out << rangeLine('+', d);
    for (const auto& d : plan.removed) env.out << rangeLine('-', d);
    listSkipped();
    return 0;
}

// The plan as text: per day the blocks in force or the day off, then each
// relay's bells.
void printPlan(const WeekPlan& plan, std::ostream& out) {
    out << planTitle(plan) << "\n";
    for (int d = 0; d < 7; ++d) {
        const PlanDay& day = plan.days[static_cast<std::size_t>(d)];
        out << weekdayName(d) << " " << dayHeading(day) << ": ";
        if (day.dayOff) {
            out << "Dzień wolny: " << *day.dayOff << "\n";
        } else {
            for (std::size_t i = 0; i < day.blocks.size(); ++i) out << (i ? ", " : "") << day.blocks[i];
            out << "\n";
        }
        for (std::size_t relay = 0; relay < 2; ++relay) {
            if (day.bells[relay].empty()) continue;
            out << "  Przekaźnik " << relay + 1 << ":";
            for (const auto& bell : day.bells[relay]) out << "  " << bellText(bell) << ";";
            out << "\n";
        }
    }
}

// Prints the progress window's state at every tick.
class TerminalWatcher : public TickingWatcher {
public:
    explicit TerminalWatcher(ProgEnvironment& env)
        : TickingWatcher(env.sleep, [this, &env](const TransferProgress& p) {
              last = p.position();
              finished = p.finished();
              failed = p.failed();
              env.err << formatText("%s: %d/%d (%d%%)", std::string(program::text::kTransferTitle).c_str(),
                                    p.position(), TransferProgress::kRange,
                                    p.position() * 100 / TransferProgress::kRange);
              if (p.failed()) {
                  failure = p.statusText();
                  env.err << "  " << p.statusText();
              }
              env.err << "\n";
          }) {}
    void watch(TransferProgress& progress) override {
        ++runs;
        TickingWatcher::watch(progress);
    }
    int runs = 0;
    int last = 0;
    bool finished = false;
    bool failed = false;
    std::string failure;  // the server's text when the transfer failed
};

std::unique_ptr<CentreLink> connect(ProgEnvironment& env, const ProgCommand& c) {
    auto link = env.connect ? env.connect(c.computer) : nullptr;
    if (!link) throw Failure{"this build of kt64prog has no link-server client: send and receive are not available"};
    return link;
}

// What a transfer (what: "Wysyłanie", "Odbieranie") ended with, beyond the
// core's own messages: where it stopped and the server's reason, in Polish
// as that reason is.
void checkTransfer(const TerminalMessages& messages, const TerminalWatcher& watcher, const char* what) {
    if (watcher.failed)
        throw Failure{formatText("%s przerwane po %d z %d bajtów: %s", what, watcher.last, TransferProgress::kRange,
                                 watcher.failure.c_str())};
    if (messages.messagesShown() > 0) throw Failure{};
    if (watcher.runs == 0) throw Failure{messages.declined() > 0 ? "cancelled" : ""};
    if (!watcher.finished || watcher.last != TransferProgress::kRange)
        throw Failure{formatText("%s zatrzymane po %d z %d bajtów", what, watcher.last, TransferProgress::kRange)};
}

int run(const ProgCommand& c, ProgEnvironment& env, TerminalMessages& messages) {
    ProgramDocument doc(messages, env.templatePath);
    switch (c.verb) {
    case Verb::Help:
        env.out << kUsage;
        return 0;
    case Verb::New:
        refuseExisting(c);
        if (!doc.newDocument()) throw Failure{};
        saveProgram(doc, c.file);
        return 0;
    case Verb::List:
        openProgram(doc, messages, c.file);
        list(*doc.database(), env.out);
        return 0;
    case Verb::Chart: {
        openProgram(doc, messages, c.file);
        const CivilDate start = c.start ? *c.start : env.today();
        chart(doc, messages, ChartGeometry(start, c.days, c.resolution), env.out);
        return messages.messagesShown() > 0 ? 1 : 0;
    }
    case Verb::Export: {
        openProgram(doc, messages, c.file);
        Database& db = *doc.database();
        const auto switchings = resolveSwitchings(db, c.from, c.to);
        const BlockNames names = readBlockNames(db);
        switch (c.format) {
        case ExportFormat::Csv:
            env.out << switchingsCsv(switchings, names);
            break;
        case ExportFormat::Json:
            env.out << switchingsJson(switchings, names);
            break;
        case ExportFormat::Ics:
            env.out << switchingsIcs(switchings, names, env.utcNow ? env.utcNow() : 0);
            break;
        }
        return 0;
    }
    case Verb::Plan: {
        if (!c.pdf.empty() && !env.writePlanPdf)
            throw Failure{"this build of kt64prog cannot draw: plan --pdf is not available"};
        openProgram(doc, messages, c.file);
        const WeekPlan plan = c.typical ? typicalWeek(*doc.database(), c.from, c.to)
                                        : weekPlan(*doc.database(), c.week ? *c.week : isoWeekOf(env.today()));
        if (c.pdf.empty()) {
            printPlan(plan, env.out);
            return 0;
        }
        const std::string failure =
            env.writePlanPdf(plan, c.pdf, displayName(std::filesystem::path(c.file).filename()));
        if (!failure.empty()) throw Failure{failure};
        return 0;
    }
    case Verb::Compile: {
        openProgram(doc, messages, c.file);
        CommandImage image = blankImage();
        const BuildOutcome outcome = buildImage(doc.database(), image, messages);
        if (!outcome.built) {
            messages.show(
                std::string(program::text::kCannotBuild) + (outcome.fault.empty() ? "" : "\n" + outcome.fault),
                MessageIcon::Stop);
            return 1;
        }
        std::ofstream out(c.image, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) throw Failure{c.image + ": cannot be written"};
        return 0;
    }
    case Verb::Decode: {
        const std::string bytes = readWholeFile(c.image, {kImageSize, kImageSize, kImageSizeRule});
        refuseExisting(c);
        if (!doc.newDocument()) throw Failure{};
        CommandImage image;
        std::copy(bytes.begin(), bytes.end(), image.begin());
        if (!loadImage(doc.database(), image, messages)) {
            messages.show(program::text::kCannotLoad, MessageIcon::None);
            return 1;
        }
        saveProgram(doc, c.file);
        return 0;
    }
    case Verb::Send: {
        openProgram(doc, messages, c.file);
        auto link = connect(env, c);
        TerminalWatcher watcher(env);
        ProgramTransfer(*link, messages, watcher, false).sendProgram(doc);
        checkTransfer(messages, watcher, "Wysyłanie");
        return 0;
    }
    case Verb::Receive: {
        refuseExisting(c);
        if (!doc.newDocument()) throw Failure{};
        auto link = connect(env, c);
        TerminalWatcher watcher(env);
        ProgramTransfer(*link, messages, watcher).receiveProgram(doc);
        if (messages.messagesShown() > 0 || !doc.isModified()) {
            checkTransfer(messages, watcher, "Odbieranie");
            throw Failure{};
        }
        saveProgram(doc, c.file);
        return 0;
    }
    case Verb::AddBlock:
    case Verb::AddDate:
    case Verb::AddCommand: {
        openProgram(doc, messages, c.file);
        Database& db = *doc.database();
        // The centre's list holds so many and no more: refused as the
        // console's list refuses them.
        if (c.verb == Verb::AddBlock && readBlocks(db).size() >= static_cast<std::size_t>(kMaxBlocks))
            throw Failure{c.file + ": " + std::string(program::text::kTooManyBlocks)};
        // A range without year across the year end applies on no day: the
        // date dialog asks, here --split says what to do.
        const bool wraps = c.verb == Verb::AddDate && endsBeforeItStarts(c.date);
        if (wraps && !c.split) throw Failure{displayName(c.file) + ": " + newYearRefusal(c.date)};
        const std::vector<DateRow> dates = wraps ? splitAtNewYear(c.date) : std::vector<DateRow>{c.date};
        const int adding = c.verb == Verb::AddDate ? static_cast<int>(dates.size()) : 1;
        if (c.verb != Verb::AddBlock && recordCount(db) + adding > kMaxRecords)
            throw Failure{c.file + ": " + std::string(program::text::kTooManyRecords)};
        std::vector<std::int64_t> ids;
        if (c.verb == Verb::AddBlock) ids.push_back(insertBlock(db, c.block));
        if (c.verb == Verb::AddDate) {
            requireBlock(db, c.date.block, c.file);
            Transaction transaction(db);
            for (const DateRow& d : dates) ids.push_back(insertDate(db, d));
            transaction.commit();
        }
        if (c.verb == Verb::AddCommand) {
            requireBlock(db, c.command.block, c.file);
            ids.push_back(insertCommand(db, c.command));
        }
        saveProgram(doc, c.file);
        for (const auto id : ids) env.out << id << "\n";
        return 0;
    }
    case Verb::AddHolidays:
    case Verb::ImportCalendar:
        return addDaysOff(c, env, doc, messages);
    }
    return 0;
}

}  // namespace

int runCommand(const ProgCommand& command, ProgEnvironment& env) {
    TerminalMessages messages(env.err, env.in, env.interactive, command.yes);
    try {
        return run(command, env, messages);
    } catch (const Failure& f) {
        if (!f.text.empty()) env.err << "kt64prog: " << f.text << "\n";
        return 1;
    } catch (const DatabaseError& e) {
        env.err << program::text::kDatabaseError << e.what() << "\n";
        return 1;
    } catch (const FileError& e) {
        env.err << "kt64prog: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace kt64::prog
