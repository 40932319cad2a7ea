// The device panel's rules as pure functions.
#include "PanelRules.h"

#include <cmath>
#include <cstdlib>

namespace kt64::console::panel {

namespace {

QString two(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

}  // namespace

QString timeText(DATE date) {
    const auto st = fromVariantTime(date);
    if (!st) return kInvalid;
    return two(st->hour) + ':' + two(st->minute) + ':' + two(st->second);
}

QString dateText(DATE date) {
    const auto st = fromVariantTime(date);
    if (!st) return kInvalid;
    return two(st->day) + '/' + two(st->month) + '/' + QStringLiteral("%1").arg(st->year, 4, 10, QLatin1Char('0'));
}

QString weekdayText(DATE date) {
    static const char* const names[] = {"Niedziela", "Poniedziałek", "Wtorek", "Środa", "Czwartek", "Piątek", "Sobota"};
    const auto st = fromVariantTime(date);
    if (!st || st->dayOfWeek < 0 || st->dayOfWeek > 6) return kInvalid;
    return QString::fromUtf8(names[st->dayOfWeek]);
}

HoursMinutes offsetMagnitude(double days) {
    if (!std::isfinite(days)) return {};
    const long long minutes = std::llround(std::fabs(days) * 1440.0);
    return {static_cast<int>((minutes / 60) % 24), static_cast<int>(minutes % 60)};
}

QString offsetText(double days) {
    const auto m = offsetMagnitude(days);
    return (days >= 0 ? QStringLiteral("+") : QStringLiteral("-")) + two(m.hours) + ':' + two(m.minutes);
}

double offsetDays(bool positive, int hours, int minutes) {
    const double magnitude = (hours * 60 + minutes) / 1440.0;
    return positive ? magnitude : -magnitude;
}

ColouredText analogLineState(std::uint32_t alarmFlag, std::uint32_t setFlag) {
    if (alarmFlag & A_LINE1) return {QStringLiteral("Zwarta"), kRed};
    if (setFlag & S_LINE1ANALON) return {QStringLiteral("Załączona"), kGreen};
    return {QStringLiteral("Wyłączona"), kYellow};
}

ColouredText digitalLineState(std::uint32_t setFlag) {
    if (setFlag & S_LINE1DIGITON) return {QStringLiteral("Załączona"), kGreen};
    return {QStringLiteral("Wyłączona"), kYellow};
}

QString daylightText(std::uint32_t setFlag) {
    if (!(setFlag & S_CHANGETIMEON)) return QStringLiteral("Zmiana czasu wyłączona");
    return (setFlag & S_WINTERTIME) ? QStringLiteral("Czas zimowy") : QStringLiteral("Czas letni");
}

QString telegramText(int lineDigitType) {
    switch (lineDigitType) {
    case 0:
        return QStringLiteral("g,m");
    case 17:
        return QStringLiteral("g,m,s");
    case 34:
        return QStringLiteral("g,m,s,d,m,r");
    default:
        return kInvalid;
    }
}

int telegramIndex(int lineDigitType) { return lineDigitType == 17 ? 1 : lineDigitType == 34 ? 2 : 0; }

int telegramType(int index) { return index == 1 ? 17 : index == 2 ? 34 : 0; }

QString changeDateText(DATE change, DATE localTime) {
    const auto c = fromVariantTime(change);
    const auto l = fromVariantTime(localTime);
    if (!c || !l) return kInvalid;
    return two(c->day) + '/' + two(c->month) + '/' + QString::number(l->year);
}

DATE changeTime(int month, int hour) { return makeDate(1900, month, 1, hour).value_or(0.0); }

std::optional<MonthHour> monthHourOf(DATE change) {
    const auto c = fromVariantTime(change);
    if (!c) return std::nullopt;
    return MonthHour{c->month, c->hour};
}

std::optional<TypedChangeHour> typedChangeHour(const QString& typed) {
    if (typed.isEmpty()) return std::nullopt;
    for (const QChar c : typed)
        if (c < '0' || c > '9') return std::nullopt;
    bool ok = false;
    const int h = typed.toInt(&ok);
    // All digits: a number too long for an int is just a large one.
    if (!ok || h > 8) return TypedChangeHour{8, true};
    return TypedChangeHour{h, false};
}

std::optional<AlarmRows> alarmRowsFor(char letter) {
    switch (letter) {
    case '0':
        return AlarmRows{false, false, false, {}};
    case 'D':
        return AlarmRows{false, true, true, QStringLiteral("Brak anteny")};
    case 'G':
        return AlarmRows{true, true, true, QStringLiteral("Impulsy 1PPS")};
    case 'R':
        return AlarmRows{true, true, false, {}};
    default:
        return std::nullopt;
    }
}

}  // namespace kt64::console::panel
