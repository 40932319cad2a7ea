// What the device panel shows and sends, as pure functions of the link
// server's values: readout texts, line states and their colours, the
// daylight-saving state, the telegram content, the alarm-row layout by the
// centre's synchronisation source, the change-hour clamp, the offset and
// change-date values sent, and the rhythm of the build-type check. The
// panel widget only moves these between its controls and the server.
#pragma once

#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>

#include "Kt64SrvIds.h"
#include "OleDate.h"

namespace kt64::console::panel {

// The AlarmFlag and SetFlag bits, as the interface names them.
using enum ids::FAlarm;
using enum ids::FSet;

inline const QColor kReadoutBackground{150, 255, 0};
inline const QColor kSelectedLabel{255, 255, 0};
inline const QColor kRed{255, 0, 0};
inline const QColor kGreen{0, 255, 0};
inline const QColor kYellow{255, 255, 0};
inline const QColor kPlaceholderBlue{0, 0, 255};

inline const QString kNoError = QStringLiteral("Brak błędu !");
inline const QString kNoConnection = QStringLiteral("Błąd połączenia z serwerem !");
inline const QString kInvalid = QStringLiteral("Błąd");
// The server has not answered for two polls: the values shown ("%1" =
// their age in whole seconds) and their greyed readouts.
inline const QString kStaleText = QStringLiteral("Serwer nie odpowiada: pokazane wartości są sprzed %1 s.");
inline const QColor kStaleBackground{200, 200, 200};

// "%H:%M:%S" and "%d/%m/%Y"; "Błąd" for a date that cannot be converted.
QString timeText(DATE date);
QString dateText(DATE date);
// "Niedziela" .. "Sobota"; "Błąd" for an invalid date.
QString weekdayText(DATE date);
// Local offset in days: "+HH:MM" when >= 0, "-HH:MM" of the magnitude when
// negative, to the nearest minute.
QString offsetText(double days);
// Hours and minutes of the offset's magnitude (nearest minute).
struct HoursMinutes {
    int hours = 0;
    int minutes = 0;
};
HoursMinutes offsetMagnitude(double days);
// The offset sent: +-(h hours, m minutes) in days.
double offsetDays(bool positive, int hours, int minutes);

struct ColouredText {
    QString text;
    QColor background;
};
// 1099: "Zwarta" red on a short circuit (A_LINE1), else "Załączona" green
// when S_LINE1ANALON, else "Wyłączona" yellow.
ColouredText analogLineState(std::uint32_t alarmFlag, std::uint32_t setFlag);
// 1100: "Załączona" green when S_LINE1DIGITON, else "Wyłączona" yellow.
ColouredText digitalLineState(std::uint32_t setFlag);
// 1105: "Czas zimowy" / "Czas letni" while the change is on, else the
// change's off state.
QString daylightText(std::uint32_t setFlag);
// 1113: "g,m" 0, "g,m,s" 17, "g,m,s,d,m,r" 34, "Błąd" otherwise.
QString telegramText(int lineDigitType);
// 1117's index of a LineDigitType: 17 -> 1, 34 -> 2, anything else 0.
int telegramIndex(int lineDigitType);
// The LineDigitType of a 1117 index (0, 17, 34).
int telegramType(int index);
// 1101/1102: "%d/%m/" of the change date, then the year of the local time.
QString changeDateText(DATE change, DATE localTime);
// ChangeTimeZL/LZ sent: 1 (month) 1900 at hour o'clock.
DATE changeTime(int month, int hour);
// Month (1..12) and hour of a change date; nullopt when invalid.
struct MonthHour {
    int month = 1;
    int hour = 0;
};
std::optional<MonthHour> monthHourOf(DATE change);

// The change hour the operator typed (the edit takes digits only): more
// than 8 reads as 8 and the edit then shows it (clamped); nullopt while the
// edit holds no number, which leaves the hour as it was.
struct TypedChangeHour {
    int hour = 0;
    bool clamped = false;
};
std::optional<TypedChangeHour> typedChangeHour(const QString& typed);

// Which alarm rows the synchronisation source letter shows.
struct AlarmRows {
    bool transmission = false;  // "Brak transmisji" + lamp 1097
    bool synchro = false;       // "Brak synchro." + lamp 1030
    bool antenna = false;       // 1115 + lamp 1057
    QString antennaText;        // empty: unchanged
};
// nullopt: the letter leaves the layout unchanged.
std::optional<AlarmRows> alarmRowsFor(char sourceLetter);

// The build-type check runs on the first poll and then on every ninth.
class BuildTypeTicks {
public:
    // Whether the poll about to run reads BuildType.
    bool due() const { return counter_ + 1 >= 9; }
    // A poll reached the check.
    void advance() {
        if (++counter_ >= 9) counter_ = 0;
    }
    void reset() { counter_ = 10; }

private:
    unsigned counter_ = 10;
};

// The Polish rule: last Sunday of March and of October, change at 2 (3)
// o'clock, automatic change on.
struct ChangeRule {
    int keyZL = 0;         // "ost"
    int monthZLIndex = 2;  // "Marca"
    int keyLZ = 0;
    int monthLZIndex = 9;  // "Października"
    bool changeOn = true;
    int hour = 2;
};
inline constexpr ChangeRule kPolishRule{};

}  // namespace kt64::console::panel
