// The tooltip texts of the device panel and the synchronisation settings
// form, by widget. They live in one table rather than in the forms so that
// the texts the operator reads are kept, and checked, in one place.
#pragma once

#include <QString>
#include <QWidget>

#include <string_view>

namespace kt64::console {

struct ControlTooltip {
    std::string_view form;  // the key a form gives applyControlTooltips
    const char* widget;     // the widget's object name in the form
    const char* text;       // UTF-8
};

inline constexpr ControlTooltip kControlTooltips[] = {
    {"devicePanel", "laControlClock", "Zegar kontrolny linii analogowej LA"},
    {"devicePanel", "gmtClock", "Zegar GMT - Kliknięcie wybiera zegar do edycji ustawień"},
    {"devicePanel", "offsetLabel", "Przesunięcie czasu lokalnego względem GMT"},
    {"devicePanel", "localClock", "Zegar czasu lokalnego sterujący liniami LA i LC"},
    {"devicePanel", "gmtWeekdayLabel", "Dzień tygodnia czasu GMT"},
    {"devicePanel", "gmtTimeLabel", "Czas GMT"},
    {"devicePanel", "gmtDateLabel", "Data czasu GMT"},
    {"devicePanel", "localWeekdayLabel", "Dzień tygodnia czasu lokalnego"},
    {"devicePanel", "localTimeLabel", "Czas lokalny"},
    {"devicePanel", "localDateLabel", "Data czasu lokalnego"},
    {"devicePanel", "noSyncLamp", "ALARM: Ponad 240h od synchronizacji."},
    {"devicePanel", "lowVoltageLamp", "ALARM: Niskie napięcie zasilania"},
    {"devicePanel", "batteryLamp", "ALARM: Rozładowany lub uszkodzony akumulator podtrzymujący pracę wzorca czasu"},
    {"devicePanel", "gmtDateEdit", "Data czasu GMT"},
    {"devicePanel", "changeHourEdit", "Godzina zmiany czasu Z<->L"},
    {"devicePanel", "offsetEdit", "Przesunięcie czasu lokalnego względem GMT"},
    {"devicePanel", "sendButton", "Kliknięcie przesyła ustawione parametry do centrali."},
    {"devicePanel", "clockTimeEdit", "Czas zegara kontrolnego LA lub zegara GMT"},
    {"devicePanel", "laStopButton", "Zatrzymuje lub uruchamia linię analogową."},
    {"devicePanel", "lcStopButton", "Zatrzymuje lub uruchamia pracę linii cyfrowej."},
    {"devicePanel", "manualSettingLamp", "Centrala jest ustawiana ręcznie."},
    {"devicePanel", "noAntennaLamp", "ALARM:Brak regularnego sygnału DCF/Brak impulsów synchronizujących z modułu GPS"},
    {"devicePanel", "changeLZMonthCombo", "Miesiąc zmiany czasu L->Z."},
    {"devicePanel", "changeZLSundayCombo", "Określa numer niedzieli w miesiącu zmiany czasu Z->L. "},
    {"devicePanel", "changeLZSundayCombo", "Określa numer niedzieli w miesiącu zmiany czasu L->Z. "},
    {"devicePanel", "serverStatusLabel", "Pokazuje status serwera."},
    {"devicePanel", "changeOnCheck", "Włącza lub wyłącza automatyczną zmianę czasu."},
    {"devicePanel", "noTransmissionLamp", "ALARM: Brak komunikacji z urządzeniem synchronizującym np. GPS"},
    {"devicePanel", "settingRequiredLamp",
     "ALARM: Centrala wymaga ustawienia ręcznego lub automatycznej synchronizacji."},
    {"devicePanel", "analogLineStateLabel", "Pokazuje załączenie wyłączenie lub zwarcie linii analogowej."},
    {"devicePanel", "digitalLineStateLabel", "Pokazuje stan włączenia lub wyłączenie linii cyfrowej."},
    {"devicePanel", "changeZLMonthCombo", "Miesiąc zmiany czasu Z->L."},
    {"devicePanel", "daylightStateLabel", "Pokazuje czas letni zimowy lub stan wyłączenia tej funkcji."},
    {"devicePanel", "polishRuleButton", "Przywraca domyślne ustawienia zmiany czasu dla Polski."},
    {"devicePanel", "telegramLabel", "Treść depeszy wysyłanej po linii cyfrowej."},
    {"devicePanel", "telegramCombo", "Treść depeszy wysyłanej po linii cyfrowej."},
    {"syncSettings", "deviationFromSpin", "Synchronizacja dopuszczona od podanej wartości odchylenia."},
    {"syncSettings", "deviationToSpin", "Synhronizacja dopuszczona do podanej wartości odchylenia."},
    {"syncSettings", "minimizeCheck", "Zaznaczenie opcji powoduje uruchamianie programu w postaci zminimalizowanej"},
    {"syncSettings", "periodSpin", "Określa odstęp czasu pomiędzy kolejnymi synchronizacjami."},
    {"syncSettings", "pcDateLabel", "Pokazuje aktualną date systemową"},
    {"syncSettings", "centreDateLabel", "Pokazuje aktualną datę czasu lokalnego centrali."},
    {"syncSettings", "pcTimeLabel", "Pokazuje aktualny czas systemowy"},
    {"syncSettings", "startServiceButton", "Uruchamia usługę synchronizacji czasu."},
    {"syncSettings", "stopServiceButton", "Zatrzymuje usługę synchronizacji czasu."},
    {"syncSettings", "refreshButton", "Odswieża status usługi systemowej."},
    {"syncSettings", "computerEdit", "Nazwa komputera do którego podłączona jest centrala."},
    {"syncSettings", "buildTypeLabel", "Pokazuje typ centrali oraz wersję jej oprogramowania."},
    {"syncSettings", "serialNumberLabel", "Wyświetla numer seryjny centrali."},
    {"syncSettings", "portCombo", "Wybiera port COM do którego podłączona jest centrala."},
    {"syncSettings", "syncHourEdit", "Określa godzinę synchronizacji zegara PC."},
    {"syncSettings", "centreTimeLabel", "Pokazuje aktualną godzinę czasu lokalnego centrali."},
    {"syncSettings", "saveButton", "Wykonuje zapis ustawień."},
    {"syncSettings", "serverStatusLabel", "Wyświetla status serwera."},
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
