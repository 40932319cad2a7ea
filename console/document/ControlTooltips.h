// The tooltip texts of the device panel and the synchronisation settings
// form, by control number.
//
// Every control of these two forms has a number, and its tooltip text has
// always been kept under that same number; the widgets themselves are named
// by their role. This one table joins the two (form, number, widget, text)
// and is the only place the numbers live.
#pragma once

#include <QString>
#include <QWidget>

#include <string_view>

namespace kt64::console {

struct ControlTooltip {
    std::string_view form;  // the key a form gives applyControlTooltips
    int number;             // the control's number
    const char* widget;     // the widget's object name in the form
    const char* text;       // UTF-8
};

inline constexpr ControlTooltip kControlTooltips[] = {
    {"devicePanel", 1013, "laControlClock", "Zegar kontrolny linii analogowej LA"},
    {"devicePanel", 1014, "gmtClock", "Zegar GMT - Kliknięcie wybiera zegar do edycji ustawień"},
    {"devicePanel", 1018, "offsetLabel", "Przesunięcie czasu lokalnego względem GMT"},
    {"devicePanel", 1020, "localClock", "Zegar czasu lokalnego sterujący liniami LA i LC"},
    {"devicePanel", 1022, "gmtWeekdayLabel", "Dzień tygodnia czasu GMT"},
    {"devicePanel", 1023, "gmtTimeLabel", "Czas GMT"},
    {"devicePanel", 1024, "gmtDateLabel", "Data czasu GMT"},
    {"devicePanel", 1026, "localWeekdayLabel", "Dzień tygodnia czasu lokalnego"},
    {"devicePanel", 1027, "localTimeLabel", "Czas lokalny"},
    {"devicePanel", 1028, "localDateLabel", "Data czasu lokalnego"},
    {"devicePanel", 1030, "noSyncLamp", "ALARM: Ponad 240h od synchronizacji."},
    {"devicePanel", 1031, "lowVoltageLamp", "ALARM: Niskie napięcie zasilania"},
    {"devicePanel", 1032, "batteryLamp",
     "ALARM: Rozładowany lub uszkodzony akumulator podtrzymujący pracę wzorca czasu"},
    {"devicePanel", 1036, "gmtDateEdit", "Data czasu GMT"},
    {"devicePanel", 1039, "changeHourEdit", "Godzina zmiany czasu Z<->L"},
    {"devicePanel", 1043, "offsetEdit", "Przesunięcie czasu lokalnego względem GMT"},
    {"devicePanel", 1044, "sendButton", "Kliknięcie przesyła ustawione parametry do centrali."},
    {"devicePanel", 1048, "clockTimeEdit", "Czas zegara kontrolnego LA lub zegara GMT"},
    {"devicePanel", 1051, "laStopButton", "Zatrzymuje lub uruchamia linię analogową."},
    {"devicePanel", 1055, "lcStopButton", "Zatrzymuje lub uruchamia pracę linii cyfrowej."},
    {"devicePanel", 1056, "manualSettingLamp", "Centrala jest ustawiana ręcznie."},
    {"devicePanel", 1057, "noAntennaLamp",
     "ALARM:Brak regularnego sygnału DCF/Brak impulsów synchronizujących z modułu GPS"},
    {"devicePanel", 1084, "changeLZMonthCombo", "Miesiąc zmiany czasu L->Z."},
    {"devicePanel", 1089, "changeZLSundayCombo", "Określa numer niedzieli w miesiącu zmiany czasu Z->L. "},
    {"devicePanel", 1090, "changeLZSundayCombo", "Określa numer niedzieli w miesiącu zmiany czasu L->Z. "},
    {"devicePanel", 1094, "serverStatusLabel", "Pokazuje status serwera."},
    {"devicePanel", 1096, "changeOnCheck", "Włącza lub wyłącza automatyczną zmianę czasu."},
    {"devicePanel", 1097, "noTransmissionLamp", "ALARM: Brak komunikacji z urządzeniem synchronizującym np. GPS"},
    {"devicePanel", 1098, "settingRequiredLamp",
     "ALARM: Centrala wymaga ustawienia ręcznego lub automatycznej synchronizacji."},
    {"devicePanel", 1099, "analogLineStateLabel", "Pokazuje załączenie wyłączenie lub zwarcie linii analogowej."},
    {"devicePanel", 1100, "digitalLineStateLabel", "Pokazuje stan włączenia lub wyłączenie linii cyfrowej."},
    {"devicePanel", 1104, "changeZLMonthCombo", "Miesiąc zmiany czasu Z->L."},
    {"devicePanel", 1105, "daylightStateLabel", "Pokazuje czas letni zimowy lub stan wyłączenia tej funkcji."},
    {"devicePanel", 1106, "polishRuleButton", "Przywraca domyślne ustawienia zmiany czasu dla Polski."},
    {"devicePanel", 1113, "telegramLabel", "Treść depeszy wysyłanej po linii cyfrowej."},
    {"devicePanel", 1117, "telegramCombo", "Treść depeszy wysyłanej po linii cyfrowej."},
    {"syncSettings", 1058, "deviationFromSpin", "Synchronizacja dopuszczona od podanej wartości odchylenia."},
    {"syncSettings", 1060, "deviationToSpin", "Synhronizacja dopuszczona do podanej wartości odchylenia."},
    {"syncSettings", 1063, "minimizeCheck",
     "Zaznaczenie opcji powoduje uruchamianie programu w postaci zminimalizowanej"},
    {"syncSettings", 1064, "periodSpin", "Określa odstęp czasu pomiędzy kolejnymi synchronizacjami."},
    {"syncSettings", 1067, "pcDateLabel", "Pokazuje aktualną date systemową"},
    {"syncSettings", 1068, "centreDateLabel", "Pokazuje aktualną datę czasu lokalnego centrali."},
    {"syncSettings", 1072, "pcTimeLabel", "Pokazuje aktualny czas systemowy"},
    {"syncSettings", 1085, "startServiceButton", "Uruchamia usługę synchronizacji czasu."},
    {"syncSettings", 1086, "stopServiceButton", "Zatrzymuje usługę synchronizacji czasu."},
    {"syncSettings", 1087, "refreshButton", "Odswieża status usługi systemowej."},
    {"syncSettings", 1088, "computerEdit", "Nazwa komputera do którego podłączona jest centrala."},
    {"syncSettings", 1091, "buildTypeLabel", "Pokazuje typ centrali oraz wersję jej oprogramowania."},
    {"syncSettings", 1092, "serialNumberLabel", "Wyświetla numer seryjny centrali."},
    {"syncSettings", 1107, "portCombo", "Wybiera port COM do którego podłączona jest centrala."},
    {"syncSettings", 1108, "syncHourEdit", "Określa godzinę synchronizacji zegara PC."},
    {"syncSettings", 1109, "centreTimeLabel", "Pokazuje aktualną godzinę czasu lokalnego centrali."},
    {"syncSettings", 1110, "saveButton", "Wykonuje zapis ustawień."},
    {"syncSettings", 1111, "serverStatusLabel", "Wyświetla status serwera."},
};

// Gives each widget of form the tooltip the table holds for it under key.
// A row whose widget the form lacks is skipped; the tooltip table test
// finds such rows.
inline void applyControlTooltips(QWidget& form, std::string_view key) {
    for (const auto& row : kControlTooltips) {
        if (row.form != key) continue;
        if (auto* w = form.findChild<QWidget*>(QString::fromLatin1(row.widget)))
            w->setToolTip(QString::fromUtf8(row.text));
    }
}

}  // namespace kt64::console
