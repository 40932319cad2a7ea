// The schedule half's pictures (see ScheduleScreenshots.h).
#include "ScheduleScreenshots.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QMenu>
#include <QTest>

#include "TransferDialog.h"
#include "ChartDialogs.h"
#include "DaysOffDialog.h"
#include "EditDialogs.h"
#include "ItemCode.h"
#include "Kt64Document.h"
#include "MainFrame.h"
#include "HResult.h"
#include "MessageBoxes.h"
#include "PlanPrintDialog.h"
#include "ProgramTables.h"
#include "ScheduleRules.h"
#include "ScheduleViews.h"
#include "ui_ChartDialog.h"
#include "ui_CommandDialog.h"

namespace kt64::console {

namespace {

namespace program = kt64::program;

// A transfer half way through, for the progress window's picture.
class HalfWayLink : public program::CentreLink {
public:
    bool Connected() const override { return true; }
    std::string BuildType() override { return "KT-64/GPS/2/232"; }
    void PutRozkazy(std::span<const std::uint8_t>) override {}
    std::uint32_t RozkazPos() override { return 1400; }
    void StartGetRozkazy() override {}
    std::uint32_t RozkazRxPos() override { return 1400; }
    program::ReceivedList GetRozkazy() override { return {}; }
};

// An upload the centre stopped answering half way through.
class SilencedLink : public HalfWayLink {
public:
    std::uint32_t RozkazPos() override {
        if (reads++ == 0) return 1400;
        throw program::LinkError(E_KT64_CHECKSUM, std::string(kt64::text::kTransferChecksum));
    }
    std::optional<program::LinkError> centreFault() override {
        return program::LinkError(E_KT64_NOANSWER, std::string(kt64::text::kNoAnswer));
    }
    int reads = 0;
};

// Keeps the questions a send asks, answering Yes to the first only.
struct QuestionsKept : program::UserMessages {
    void show(std::string_view text, program::MessageIcon) override { questions.emplace_back(text); }
    bool ask(std::string_view question, program::MessageIcon) override {
        questions.emplace_back(question);
        return questions.size() == 1;
    }
    std::vector<std::string> questions;
};

// Ticks a transfer to its end or failure, as the window would.
struct Ticking : program::TransferWatcher {
    void watch(program::TransferProgress& progress) override {
        for (int i = 0; i < 10 && !progress.finished() && !progress.failed(); ++i) progress.tick();
    }
};

void fillSample(program::Database& db) {
    const auto school = program::insertBlock(db, {0, 3, "Rok szkolny"});
    const auto holidays = program::insertBlock(db, {0, 5, "Ferie zimowe"});
    program::DateRow d;
    d.block = school;
    d.from = program::CivilDate{2025, 9, 1};
    d.to = program::CivilDate{2026, 6, 26};
    d.inItsYearOnly = true;
    d.description = "Rok szkolny 2025/2026";
    program::insertDate(db, d);
    d.block = holidays;
    d.from = program::CivilDate{2025, 12, 22};
    d.to = program::CivilDate{2026, 1, 6};
    d.inItsYearOnly = false;
    d.description = "Przerwa świąteczna";
    program::insertDate(db, d);
    const struct {
        std::int64_t block;
        int relay, operation, hour, minute, weekdays, impulse, cycle;
        bool cycleMinutes;
        const char* description;
    } commands[] = {
        {1, 1, program::kOff, 0, 0, program::kAllWeek, 1, 2, false, "Noc"},
        {school, 1, program::kImpulsePlus, 8, 0, program::kMondayToFriday, 5, 99, false, "Lekcja 1"},
        {school, 1, program::kImpulsePlus, 8, 45, program::kMondayToFriday, 5, 99, false, "Przerwa"},
        {school, 1, program::kImpulsePlus, 8, 55, program::kMondayToFriday, 5, 99, false, "Lekcja 2"},
        {school, 2, program::kCyclePlus, 7, 30, program::kMondayToFriday, 10, 1, true, "Oświetlenie"},
        {school, 2, program::kOff, 16, 0, program::kMondayToFriday, 1, 2, false, "Koniec"},
        {holidays, 1, program::kOff, 0, 0, program::kAllWeek, 1, 2, false, "Cisza"},
    };
    for (const auto& c : commands) {
        program::CommandRow row;
        row.block = c.block;
        row.relay = c.relay;
        row.operation = c.operation;
        row.time = program::TimeOfDay{c.hour, c.minute, 0};
        row.weekdays = c.weekdays;
        row.impulse = c.impulse;
        row.cycle = c.cycle;
        row.cycleInMinutes = c.cycleMinutes;
        row.description = c.description;
        program::insertCommand(db, row);
    }
}

}  // namespace

void saveScheduleScreenshots(MainFrame& frame, Kt64Document& doc, void (*save)(QWidget*, const QString&)) {
    fillSample(*doc.program().database());
    frame.switchView(ViewKind::ProgramTree);
    doc.program().notifyChanged(0);
    auto* tree = qobject_cast<ProgramTreeView*>(frame.view(ViewKind::ProgramTree));
    auto* list = qobject_cast<CommandListView*>(frame.view(ViewKind::CommandList));
    tree->expandAll();
    tree->selectCode(makeItemCode(kKindBlockCommands, 2));
    save(&frame, "frame-schedule-block-commands");
    tree->selectCode(makeItemCode(kKindBlockDates, 3));
    save(&frame, "frame-schedule-block-dates");
    list->selectId(list->listModel().idOfRow(0));
    QMenu& menu = list->contextMenu();
    menu.popup(list->mapToGlobal(QPoint(60, 40)));
    save(&menu, "menu-schedule-list");
    menu.hide();

    ConsoleMessages messages(&frame);
    BlockDialog block(&frame);
    block.setRow({2, 3, "Rok szkolny"});
    block.show();
    save(&block, "dialog-block");
    DateRangeDialog dates(&frame);
    program::DateRow d;
    d.from = program::CivilDate{2025, 12, 22};
    d.to = program::CivilDate{2026, 1, 6};
    d.description = "Przerwa świąteczna";
    dates.setRow(d);
    dates.show();
    save(&dates, "dialog-dates");
    CommandDialog command(messages, &frame);
    program::CommandRow c;
    c.time = program::TimeOfDay{7, 30, 0};
    c.operation = program::kCyclePlus;
    c.relay = 2;
    c.weekdays = program::kMondayToFriday;
    c.impulse = 10;
    c.cycle = 1;
    c.cycleInMinutes = true;
    c.description = "Oświetlenie";
    command.setRow(c);
    command.show();
    save(&command, "dialog-command");
    QMenu& minutes = command.minutesMenu();
    minutes.popup(command.mapToGlobal(QPoint(40, 120)));
    save(&minutes, "menu-command-minutes");
    minutes.hide();
    QMenu& impulses = command.impulseMenu();
    impulses.popup(command.mapToGlobal(QPoint(200, 120)));
    save(&impulses, "menu-command-impulses");
    impulses.hide();
    AddMinutesDialog value(messages, &frame);
    value.show();
    save(&value, "dialog-add-minutes");
    PresetsDialog presets(messages, &frame);
    presets.show();
    save(&presets, "dialog-presets");

    HalfWayLink link;
    int previous = 0;
    program::TransferProgress progress(link, program::TransferDirection::Send, previous);
    TransferDialog transfer(progress, &frame);
    transfer.tick();
    transfer.show();
    save(&transfer, "dialog-transfer");
    transfer.done(QDialog::Accepted);

    // The sample's Christmas break has no year and ends before it starts:
    // the send question names its block; then the centre falls silent.
    {
        SilencedLink silenced;
        QuestionsKept kept;
        Ticking ticking;
        program::ProgramTransfer(silenced, kept, ticking).sendProgram(doc.program());
        const char* names[] = {"message-send-question", "message-upload-incomplete"};
        for (std::size_t i = 0; i < kept.questions.size() && i < 2; ++i) {
            const auto box = makeMessageBox(
                &frame, {kAppCaption, QString::fromStdString(kept.questions[i]),
                         i == 0 ? QMessageBox::Question : QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No});
            box->show();
            save(box.get(), names[i]);
        }
        int again = 0;
        SilencedLink failing;
        failing.reads = 1;
        program::TransferProgress failed(failing, program::TransferDirection::Send, again);
        TransferDialog window(failed, &frame);
        window.tick();
        window.show();
        save(&window, "dialog-transfer-failed");
        window.done(QDialog::Rejected);
    }
    {
        program::DateRow schoolYear;
        schoolYear.from = program::CivilDate{2025, 9, 1};
        schoolYear.to = program::CivilDate{2026, 6, 30};
        const auto box =
            makeMessageBox(&frame, {kAppCaption, QString::fromStdString(newYearQuestion(schoolYear)),
                                    QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel});
        box->show();
        save(box.get(), "message-new-year-question");
    }

    {
        // "Drukuj plan…": the week of the first school day.
        PlanPrintDialog plan(doc.program(), messages, QDate(2025, 9, 1), &frame);
        plan.show();
        QApplication::processEvents();
        save(&plan, "dialog-plan-print");
        plan.reject();
    }

    ChartDialog chart(doc.program(), messages, &frame);
    chart.ui().startEdit->setDate(QDate(2025, 9, 8));
    chart.ui().resolutionCombo->setCurrentIndex(2);
    chart.show();
    QApplication::processEvents();
    save(&chart, "dialog-chart");
    QTest::mousePress(&chart.chart(), Qt::LeftButton, {}, QPoint(30 + 8 * 20 + 1, 80));
    if (chart.information()) save(chart.information(), "dialog-chart-information");
    QTest::mouseRelease(&chart.chart(), Qt::LeftButton, {}, QPoint(30 + 8 * 20 + 1, 80));
    // A week at 10 minutes per pixel opens as wide as the screen allows.
    chart.ui().daysCombo->setCurrentIndex(6);
    chart.ui().resolutionCombo->setCurrentIndex(5);
    QApplication::processEvents();
    save(&chart, "dialog-chart-week");
    chart.done(QDialog::Accepted);

    // Days off: the tree's menu on the top "Daty" folder, and the dialog's
    // preview for the holidays and for a school's calendar file.
    tree->selectCode(makeItemCode(kKindDates, 0));
    tree->updateDaysOffActions();
    QMenu& treeMenu = tree->contextMenu();
    treeMenu.popup(tree->mapToGlobal(QPoint(40, 40)));
    save(&treeMenu, "menu-schedule-tree");
    treeMenu.hide();
    const QDate today = QDate::currentDate();
    const program::CivilDate day{today.year(), today.month(), today.day()};
    DaysOffDialog holidays(DaysOffSource::Holidays, doc.program(), messages, 0, day, &frame);
    holidays.show();
    QApplication::processEvents();
    save(&holidays, "dialog-days-off-holidays");
    holidays.reject();
    DaysOffDialog calendar(DaysOffSource::Calendar, doc.program(), messages, 0, day, &frame);
    calendar.setCalendarFile(KT64_SAMPLE_CALENDAR);
    calendar.show();
    QApplication::processEvents();
    save(&calendar, "dialog-days-off-calendar");
    calendar.reject();
    doc.program().setModified(false);
}

}  // namespace kt64::console
