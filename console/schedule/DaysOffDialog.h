// DaysOffDialog: public holidays or a calendar file's days off added to a
// block of days off, from the schedule tree. Days off silence the bells
// only from a block without commands above every block with commands: the
// dialog offers that block (or a new "Dni wolne") and refuses, saying why,
// a block that rings. The caretaker picks the years (and the calendar file)
// and sees every range that will be added or removed, and every timed event
// left out, before anything changes; the summary says how many ranges go in
// and out and how many of the centre's 400 places are free, and a change
// that does not fit cannot be confirmed. Confirming writes the change in
// one transaction (DateRangePlan) and updates the views.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

#include "CivilTime.h"
#include "DateRangePlan.h"
#include "ProgramDocument.h"
#include "UserMessages.h"

namespace Ui {
class DaysOffDialog;
}

namespace kt64::console {

enum class DaysOffSource { Holidays, Calendar };

namespace daysofftext {
inline constexpr const char* kAddHolidays = "Dodaj święta…";
inline constexpr const char* kImportCalendar = "Importuj kalendarz…";
inline constexpr const char* kHolidaysTitle = "Dodaj święta";
inline constexpr const char* kCalendarTitle = "Importuj kalendarz";
inline constexpr const char* kCalendarFilter = "Kalendarz iCalendar (*.ics);;Wszystkie pliki (*)";
// The choices of the block: "%1" = the block's number, "%2" its description.
inline constexpr const char* kBlockChoice = "Blok %1: %2";
inline constexpr const char* kNewBlockChoice = "Nowy blok „%1”";
inline constexpr const char* kToNewBlock =
    "Nowy blok „%1” dostanie priorytet %2 i żadnych rozkazów: w te dni nie dzwoni nic.";
inline constexpr const char* kEveryYear = "co roku";
inline constexpr const char* kNoCalendarYet = "Wybierz plik kalendarza.";
// Entries of the preview besides the ranges added.
inline constexpr const char* kRemovedEntry = "usuwany: %1";
inline constexpr const char* kSkippedEntry = "pominięto: %1";
// "%1" added, "%2" places free.
inline constexpr const char* kSummary = "Do dodania: %1. Wolnych miejsc na daty i rozkazy: %2 z 400.";
// "%1" added, "%2" removed, "%3" places free.
inline constexpr const char* kHolidaysSummaryWithRemovals =
    "Do dodania: %1, do usunięcia: %2 (święta ruchome z lat, które już minęły). Wolnych miejsc na daty i rozkazy: "
    "%3 z 400.";
inline constexpr const char* kCalendarSummaryWithRemovals =
    "Do dodania: %1, do usunięcia: %2 (dni z poprzedniego importu tego kalendarza, których w nim już nie ma). Wolnych "
    "miejsc na daty i rozkazy: %3 z 400.";
inline constexpr const char* kNothingToAdd = "Nic do dodania: blok ma już wszystkie te dni.";
// "%1" = the calendar's name, "%2" and "%3" the years.
inline constexpr const char* kNothingToImport =
    "Nic do zaimportowania: kalendarz „%1” nie ma dni wolnych w latach %2–%3.";
}  // namespace daysofftext

class DaysOffDialog : public QDialog {
    Q_OBJECT
public:
    // block: the block the tree shows, offered first; 0 offers the block of
    // days off (a new "Dni wolne" when there is none). today picks the
    // default years and the movable holidays that may go.
    DaysOffDialog(DaysOffSource source, program::ProgramDocument& document, program::UserMessages& messages,
                  std::int64_t block, const program::CivilDate& today, QWidget* parent = nullptr);
    ~DaysOffDialog() override;

    Ui::DaysOffDialog& ui() { return *ui_; }
    const program::DateRangePlan& plan() const { return plan_; }
    // The calendar file to read (what "Wybierz…" sets).
    void setCalendarFile(const QString& file);

public slots:
    void accept() override;

private:
    // Reads the source again for the years shown and plans the change.
    void refresh();
    void browse();

    std::unique_ptr<Ui::DaysOffDialog> ui_;
    DaysOffSource source_;
    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    std::int64_t block_;
    program::CivilDate today_;
    program::DateRangePlan plan_;
    bool ready_ = false;  // the plan can be written
};

}  // namespace kt64::console
