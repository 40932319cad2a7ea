// HRESULT codes of the link server (facility ITF, codes 0x200-0x209) and
// every text that goes with them. Texts spelt with and without Polish letters
// are distinct texts: each is used exactly where the server names it, so they
// are kept here letter for letter (UTF-8).
#pragma once

#include <cstdint>
#include <string_view>

namespace kt64 {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

constexpr bool failed(HRESULT hr) { return hr < 0; }
constexpr HRESULT hresultOf(std::uint32_t code) { return static_cast<HRESULT>(code); }
// HRESULT_FROM_WIN32.
constexpr HRESULT hresultFromWin32(unsigned code) {
    return code == 0 ? S_OK : hresultOf(0x80070000u | (code & 0xFFFFu));
}

// Serial-port failure (text = the system's message) or registry read failure.
inline constexpr HRESULT E_KT64_PORT = hresultOf(0x80040200u);
// Initial state: no exchange with the centre has ended yet.
inline constexpr HRESULT E_KT64_NOERROR = hresultOf(0x80040201u);
// Bad frame markers or bad data from a client.
inline constexpr HRESULT E_KT64_FRAME = hresultOf(0x80040202u);
// Bad checksum, or a failed command-list transfer.
inline constexpr HRESULT E_KT64_CHECKSUM = hresultOf(0x80040203u);
// The centre did not answer with a whole frame.
inline constexpr HRESULT E_KT64_NOANSWER = hresultOf(0x80040204u);
// Registry key cannot be opened, or the wait for a device read failed.
inline constexpr HRESULT E_KT64_REGISTRY = hresultOf(0x80040205u);
// Communication with the centre is paused.
inline constexpr HRESULT E_KT64_PAUSED = hresultOf(0x80040206u);
// The analogue line must be stopped first.
inline constexpr HRESULT E_KT64_LINEON = hresultOf(0x80040207u);
// The same command is already waiting, or a transfer is under way.
inline constexpr HRESULT E_KT64_BUSY = hresultOf(0x80040208u);
// The centre's time may not be used for synchronisation now.
inline constexpr HRESULT E_KT64_NOTREADY = hresultOf(0x80040209u);

// System codes the server answers beside its own: a caller without the
// right a member needs, an argument no member takes, a cap reached.
inline constexpr HRESULT E_ACCESSDENIED = hresultOf(0x80070005u);
inline constexpr HRESULT E_INVALIDARG = hresultOf(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = hresultOf(0x8007000Eu);

namespace text {
inline constexpr std::string_view kRegistryRead = "Błąd odczytu z rejestru";
inline constexpr std::string_view kNoError = "Brak błędu.";
inline constexpr std::string_view kBadFrame = "Błędna ramka.";
inline constexpr std::string_view kBadSetData = "Błędne dane ustawiane.";
inline constexpr std::string_view kBadDataDot = "Bledne dane.";
inline constexpr std::string_view kBadData = "Bledne dane";
inline constexpr std::string_view kChecksum = "Błąd sumy kontrolnej";
inline constexpr std::string_view kTransferChecksum = "Bledna suma kontrolna.";
inline constexpr std::string_view kNoAnswer = "Brak odpowiedzi.";
inline constexpr std::string_view kRegistryOpen = "Błąd otwarcia rejestru";
inline constexpr std::string_view kWaitFailed = "Błąd WaitForSingleObject()";
inline constexpr std::string_view kPaused = "Transmisja jest zatrzymana.";
inline constexpr std::string_view kLineOn = "Linia analogowa musi byc zatrzymana";
inline constexpr std::string_view kBusyDot = "Serwer jest zajety.";
inline constexpr std::string_view kBusy = "Serwer zajety";
inline constexpr std::string_view kTransferBusy = "Rozkazy wlasnie sa wysylane lub odbierane.";
inline constexpr std::string_view kNeedsSetting = "Centrala wymaga ustawiania lub synchronizacji";
inline constexpr std::string_view kNotSynced240h = "Centrala nie zsynchronizowana od ponad 240h";
inline constexpr std::string_view kManualSetting = "Centrala jest wlaśnie ustawiana ręcznie";
}  // namespace text

}  // namespace kt64
