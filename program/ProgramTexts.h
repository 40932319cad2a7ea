// Every text the relay program core shows its user, letter for letter
// (UTF-8). Texts spelt without Polish letters are kept as they are shown.
#pragma once

#include <string_view>

namespace kt64::program::text {

inline constexpr std::string_view kNoTemplate = "Brak pliku default.mkk musisz ponownie zainstalować program.";
inline constexpr std::string_view kDatabaseError = "Błąd bazy danych: ";
inline constexpr std::string_view kDatabaseError3 = "Błąd bazy danych 3: ";
inline constexpr std::string_view kDatabaseError4 = "Błąd bazy danych 4: ";

inline constexpr std::string_view kNotConnected =
    "Centrala nie jest podłączona, aby można było wysłać rozkazy centrala musi być podłączona";
inline constexpr std::string_view kConfirmSend = "Czy na pewno rozpocząć wysyłanie rozkazów do centrali?";
inline constexpr std::string_view kConfirmTwoRelays =
    "Program zawiera rozkazy dla dwóch przekaźników, a centrala jest wyposażona tylko w jedno wyjście "
    "przekaźnikowe. Czy na pewno rozpocząć wysyłanie rozkazów do centrali?";
inline constexpr std::string_view kCannotBuild = "Nie mogę wygenerować rozkazów dla centrali.";
inline constexpr std::string_view kUnknownError = "Wystapił nieznany błąd !";
inline constexpr std::string_view kConfirmReceive =
    "Czy na pewno rozpocząć odbieranie rozkazów z centrali? Uwaga bieżący dokument zostanie zamknięty.";
inline constexpr std::string_view kBadVariant =
    "VARIANT zawiera niepoprawny typ zwrócony przez serwer lub safearray nie zawiera odpowiedniej liczby "
    "rekordów.";
inline constexpr std::string_view kCannotLoad = "Nie udało się odczytać i zanalizować danych z centrali";

// A file opened as a program that is not one: "Błąd bazy danych: ", the
// file's name, ": " and one of these ("%s" = the engine's text, then the
// sizes).
inline constexpr std::string_view kEmptyFile = "pusty plik, a nie program przekaźników";
inline constexpr std::string_view kNotADatabase = "to nie jest program przekaźników (plik nie jest bazą danych)";
inline constexpr std::string_view kNoProgramTables =
    "to nie jest program przekaźników (baza danych bez tabel Bloki, Daty, Rozkazy i KodOp)";
inline constexpr const char* kNotAProgram = "to nie jest program przekaźników (%s)";
inline constexpr const char* kDamagedProgram = "uszkodzony program przekaźników (%s)";
inline constexpr const char* kProgramCutShort = "uszkodzony program przekaźników: plik urwany po %llu z %llu bajtów";
inline constexpr const char* kProgramTooLarge = "to nie jest program przekaźników (%s, a program ma najwyżej %s)";

// Adding a record past the centre's limits (the schedule list, kt64prog).
inline constexpr std::string_view kTooManyBlocks =
    "Nie mogę dodać kolejnego bloku, w bazie istnieje zbyt wiele bloków.";
inline constexpr std::string_view kTooManyRecords =
    "Nie mogę dodać kolejnego rozkazu, w bazie istnieje zbyt wiele rozkazów.";

// Blocks that apply on no day ("%s" = the block numbers, "3, 5"): in the
// send confirmation and the schedule tree.
inline constexpr const char* kBlockNeverApplies =
    "Blok %s nie obowiązuje w żadnym dniu: nie ma dat albo jego zakresy dat kończą się przed swoim początkiem. "
    "Jego rozkazy nie zostaną wykonane.";
inline constexpr const char* kBlocksNeverApply =
    "Bloki %s nie obowiązują w żadnym dniu: nie mają dat albo ich zakresy dat kończą się przed swoim początkiem. "
    "Ich rozkazy nie zostaną wykonane.";

// An upload that failed part-way ("%s" = the cause, as the progress
// window showed it).
inline constexpr const char* kUploadIncomplete =
    "Wysyłanie rozkazów zostało przerwane. Program w centrali jest teraz niekompletny i trzeba go wysłać "
    "ponownie.\nPrzyczyna: %s";
inline constexpr std::string_view kSendAgain = "Czy wysłać program do centrali ponownie?";

// The transfer progress window.
inline constexpr std::string_view kTransferTitle = "Wysyłanie/Odbieranie rozkazów";
inline constexpr std::string_view kTransferWait = "Proszę czekać trwa transmisja...";
inline constexpr std::string_view kTransferFailed = "Wystapił błąd!";
// A transfer whose position has not moved for "%d" seconds, with no error
// from the server to name instead.
inline constexpr const char* kTransferStalled = "Transmisja stoi w miejscu od %d s.";

// Descriptions of the records loadImage adds ("%d" = a counter from 1).
inline constexpr const char* kReceivedBlock = "Blok odczytany nr %d";
inline constexpr const char* kReceivedDate = "Data odczytana nr %d";
inline constexpr const char* kReceivedCommand = "Rozkaz odczytany nr %d";

// The line under kCannotBuild that names the record the centre's list
// cannot hold.
inline constexpr const char* kFaultNoBlock = "Program nie zawiera żadnego bloku.";
inline constexpr const char* kFaultTooManyBlocks = "Program zawiera %d bloków, centrala mieści najwyżej 100.";
inline constexpr const char* kFaultTooManyRecords = "Program zawiera %d dat i rozkazów, centrala mieści najwyżej 400.";
inline constexpr const char* kFaultDateMissing = "Data %lld: brak poprawnej daty.";
inline constexpr const char* kFaultDateYear = "Data %lld: rok %d poza zakresem 2000-2254.";
inline constexpr const char* kFaultCommandTime = "Rozkaz %lld: brak poprawnego czasu rozkazu.";
inline constexpr const char* kFaultWeekdays = "Rozkaz %lld: dni tygodnia %lld poza zakresem 0-127.";
inline constexpr const char* kFaultOperation = "Rozkaz %lld: nieznana operacja %lld.";
inline constexpr const char* kFaultRelay = "Rozkaz %lld: przekaźnik %lld, dozwolony 1 lub 2.";
inline constexpr const char* kFaultImpulse = "Rozkaz %lld: czas impulsu %lld poza zakresem 0-127.";
inline constexpr const char* kFaultCycle = "Rozkaz %lld: czas cyklu %lld poza zakresem 0-127.";

// Public holidays as the holiday block's date ranges describe them. The
// movable ones (and 24 December as a day of its year) are told from the
// user's own ranges by these descriptions.
inline constexpr std::string_view kHolidayBlock = "Dni wolne";
inline constexpr std::string_view kNewYear = "Nowy Rok";
inline constexpr std::string_view kEpiphany = "Święto Trzech Króli";
inline constexpr std::string_view kLabourDay = "Święto Pracy";
inline constexpr std::string_view kConstitutionDay = "Święto Konstytucji 3 Maja";
inline constexpr std::string_view kAssumption = "Wniebowzięcie Najświętszej Maryi Panny";
inline constexpr std::string_view kAllSaints = "Wszystkich Świętych";
inline constexpr std::string_view kIndependenceDay = "Narodowe Święto Niepodległości";
inline constexpr std::string_view kChristmas = "Boże Narodzenie";
inline constexpr std::string_view kChristmasEveAndChristmas = "Wigilia i Boże Narodzenie";
inline constexpr std::string_view kEaster = "Wielkanoc (święto ruchome)";
inline constexpr std::string_view kPentecost = "Zielone Świątki (święto ruchome)";
inline constexpr std::string_view kCorpusChristi = "Boże Ciało (święto ruchome)";
inline constexpr std::string_view kChristmasEve = "Wigilia (święto od 2025)";

// Adding many date ranges at once (holidays, a calendar file): "%d" = the
// ranges needed, then the places free of the 400.
inline constexpr const char* kRangesDoNotFit =
    "Nie mogę dodać zakresów dat: potrzeba %d, a wolnych miejsc na daty i rozkazy jest %d (centrala mieści "
    "najwyżej 400).";
// Days off go to a block without commands whose priority is above every
// block with commands. "%lld" = block numbers and priorities; the last
// "%s" names the block to use (kDaysOffUseBlock or kDaysOffUseNewBlock).
inline constexpr const char* kDaysOffBlockRings =
    "Blok %lld ma rozkazy, więc w dni wolne dodane do niego dzwonki nadal by dzwoniły. Dni wolne należą do bloku "
    "bez rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: %s";
inline constexpr const char* kDaysOffPriorityTooLow =
    "Blok %lld ma priorytet %lld, a blok %lld z rozkazami ma priorytet %lld, więc w dni wolne dzwonki nadal by "
    "dzwoniły. Dni wolne należą do bloku bez rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: %s";
inline constexpr const char* kDaysOffNoSuchBlock =
    "Program nie ma bloku %lld. Dni wolne należą do bloku bez rozkazów, o priorytecie wyższym niż każdy blok z "
    "rozkazami: %s";
inline constexpr const char* kDaysOffUseBlock = "użyj bloku %lld „%s”.";
inline constexpr const char* kDaysOffUseNewBlock = "użyj nowego bloku „%s”, który powstanie z priorytetem %lld.";
inline constexpr const char* kDaysOffNoPriorityLeft =
    "Blok %lld ma rozkazy i priorytet %lld, najwyższy z możliwych, więc żaden blok dni wolnych nie wyciszy jego "
    "dzwonków. Obniż jego priorytet, a potem dodaj dni wolne.";
// A calendar file that cannot be read ("%s" = the file, "%d" = its line,
// then the cause).
inline constexpr const char* kCalendarFault = "Błąd w pliku kalendarza %s, wiersz %d: %s";
inline constexpr std::string_view kCalendarNotCalendar = "to nie jest plik iCalendar (brak BEGIN:VCALENDAR)";
inline constexpr std::string_view kCalendarUnbalanced = "END bez pasującego BEGIN";
inline constexpr std::string_view kCalendarUnclosed = "brak END dla tego BEGIN";
inline constexpr std::string_view kCalendarNoStart = "wydarzenie bez daty początku (DTSTART)";
inline constexpr std::string_view kCalendarBadDate = "niepoprawna data";
inline constexpr std::string_view kCalendarEndBeforeStart = "koniec wydarzenia przed jego początkiem";
inline constexpr std::string_view kCalendarBadLine = "wiersz nie ma postaci NAZWA:wartość";
inline constexpr std::string_view kCalendarBadRule = "niezrozumiała reguła powtarzania (RRULE)";
inline constexpr std::string_view kCalendarNotUtf8 =
    "znak spoza UTF-8: plik kalendarza musi być zapisany w UTF-8, tak wymaga format iCalendar";
// "%s" = the zone's name as given.
inline constexpr const char* kUnknownZone = "Nieznana strefa czasowa „%s” (na przykład Europe/Warsaw).";
// After a skipped timed event that recurs.
inline constexpr std::string_view kCalendarRecurring = " (i jego powtórzenia)";
// A calendar's range in the program: "%s" = the event, then the calendar.
inline constexpr const char* kCalendarMark = "%s [kalendarz: %s]";
// "%s" = the file and the system's reason.
inline constexpr const char* kCalendarUnreadable = "Nie można odczytać pliku kalendarza %s";

}  // namespace kt64::program::text
