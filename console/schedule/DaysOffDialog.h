// DaysOffDialog: public holidays or a calendar file's days off added to one
// block, from the schedule tree. The caretaker picks the years (and the
// calendar file) and sees every range that will be added before anything
// changes; the summary says how many ranges go in, how many of the earlier
// movable holidays go out and how many of the centre's 400 places are free,
// and a change that does not fit cannot be confirmed. Confirming writes the
// change in one transaction (DateRangePlan) and updates the views.
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
// "%1" = the block's number, "%2" its description.
inline constexpr const char* kToBlock = "Do bloku %1: %2";
inline constexpr const char* kToNewBlock = "Do nowego bloku „%1” (priorytet 9, bez rozkazów: w te dni nie dzwoni nic).";
inline constexpr const char* kEveryYear = "co roku";
inline constexpr const char* kNoCalendarYet = "Wybierz plik kalendarza.";
// "%1" added, "%2" removed, "%3" places free.
inline constexpr const char* kSummary =
    "Do dodania: %1, do usunięcia (wcześniejsze święta ruchome): %2. Wolnych miejsc na daty i rozkazy: %3 z 400.";
inline constexpr const char* kNothingToAdd = "Nic do dodania: blok ma już wszystkie te dni.";
}  // namespace daysofftext

class DaysOffDialog : public QDialog {
    Q_OBJECT
public:
    // block 0: a new holiday block ("Dni wolne"), or the one of that name
    // the program already has. today picks the default years.
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
    program::DateRangePlan plan_;
    bool ready_ = false;  // the plan can be written
};

}  // namespace kt64::console
