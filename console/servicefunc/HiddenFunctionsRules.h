// The service functions' rules without the dialog: the access code of the
// About box, how the centre's BuildType and SerialNum texts are split into
// the dialog's fields and lists, and the texts written back.
#pragma once

#include <string>
#include <string_view>

namespace kt64::console {

inline constexpr std::string_view kAccessCode = "Brovik";
inline constexpr std::string_view kHiddenFunctionsTitle = "Wprowadź SN i Typ centrali KT-64";
inline constexpr std::string_view kHiddenNotConnectedText = "Brak połączenia z serwerem!";
inline constexpr std::string_view kHiddenServerFailedText = "Błąd serwera DCOM !";
inline constexpr std::string_view kTypeSetText = "Typ Centrali ustawiono pomyślnie";
inline constexpr std::string_view kSerialSetText = "Numer seryjny ustawiono pomyślnie";
inline constexpr std::string_view kHiddenCaption = "KT64mon";

inline constexpr int kSerialFirstLength = 2;
inline constexpr int kSerialSecondLength = 4;

// Exact, case-sensitive, whole text.
bool accessCodeMatches(std::string_view typed);

// BuildType's fields as the console reads them: the model (first field),
// the list entries the second, third and fourth fields select (-1: none).
// The lists hold the names of the codes in code order. The source and relay
// fields must equal an entry; the interface field selects the first entry it
// contains ("485 V1.2" selects "485").
struct BuildTypeChoice {
    std::string model;
    int source = -1;
    int relays = -1;
    int interface = -1;
    friend bool operator==(const BuildTypeChoice&, const BuildTypeChoice&) = default;
};
BuildTypeChoice splitBuildType(std::string_view buildType);

// SerialNum split the same way: its first two fields ("" when missing).
struct SerialParts {
    std::string first;
    std::string second;
    friend bool operator==(const SerialParts&, const SerialParts&) = default;
};
SerialParts splitSerialNum(std::string_view serialNum);
std::string serialNumText(std::string_view first, std::string_view second);

}  // namespace kt64::console
