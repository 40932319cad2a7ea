// Texts of the synchronisation programs' string table (UTF-8).
#include "SyncMessages.h"

namespace kt64::sync {

std::string_view messageText(MessageId id, ProgramVariant variant) {
    switch (id) {
    case MessageId::Started:
        return "Uruchomiono usługę synchronizacji czasu.\n";
    case MessageId::Stopped:
        return "Zatrzymano usługę synchronizacji czasu.\n";
    case MessageId::SettingsUnavailable:
        return "Nie mogę otworzyć wartości rejestru.\n";
    case MessageId::NoConnection:
        return "Nie mogę podłączyć się do serwera na komputerze zdalnym.\n";
    case MessageId::Synchronised:
        return "Synchronizację czasu przeprowadzono pomyślnie.\n";
    case MessageId::OutsideWindow:
        return "Nie spełniono warunku synchronizacji.\n";
    case MessageId::ServerError:
        return variant == ProgramVariant::Service ? "Wystąpił wewnętrzny błąd serwera DCOM.\n"
                                                  : "Wystąpił wewnętrzny błąd serwera DCOM\n";
    case MessageId::SystemFailed:
        return "Funkcja Windows zawiodła.\n";
    case MessageId::ClockNotSet:
        return "Nie zsynchronizowano, nie mogę ustawić czasu systemowego.\n";
    }
    return {};
}

}  // namespace kt64::sync
