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

// Descriptions of the records LoadImage adds ("%d" = a counter from 1).
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

}  // namespace kt64::program::text
