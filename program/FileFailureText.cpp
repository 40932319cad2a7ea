// Polish texts of file failures (see FileFailureText.h).
#include "FileFailureText.h"

#include <cerrno>

#include "TextFormat.h"

namespace kt64::program {

namespace {

std::string systemReason(const FileError& e) {
    switch (e.systemError()) {
    case ENOENT:
        return "nie ma takiego pliku ani katalogu";
    case EACCES:
    case EPERM:
        return "brak uprawnień";
    case ENOTDIR:
        return "część ścieżki nie jest katalogiem";
    case ELOOP:
        return "za dużo dowiązań symbolicznych";
    case ENAMETOOLONG:
        return "za długa nazwa pliku";
    case EIO:
        return "błąd wejścia/wyjścia";
    default:
        return e.reason();
    }
}

std::string refusalReason(const FileRefusal& r) {
    switch (r.kind) {
    case FileRefusal::Directory:
        return "to katalog, nie plik";
    case FileRefusal::Fifo:
        return "to FIFO (potok nazwany), nie plik";
    case FileRefusal::Device:
        return "to urządzenie, nie plik";
    case FileRefusal::Socket:
        return "to gniazdo, nie plik";
    case FileRefusal::TooLarge:
        return (r.moreThan ? "ponad " : "") + byteCount(r.bytes) + ", a ten plik może mieć najwyżej " +
               sizeLimit(r.most);
    case FileRefusal::TooSmall:
        return byteCount(r.bytes) + ", a ten plik musi mieć co najmniej " + sizeLimit(r.least);
    default:
        return "to nie jest zwykły plik";
    }
}

}  // namespace

std::string byteCount(std::uint64_t bytes) {
    const auto n = static_cast<unsigned long long>(bytes);
    if (n == 1) return "1 bajt";
    const bool few = n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14);
    return formatText(few ? "%llu bajty" : "%llu bajtów", n);
}

std::string sizeLimit(std::uint64_t bytes) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    if (bytes >= kMiB && bytes % kMiB == 0)
        return formatText("%llu MiB", static_cast<unsigned long long>(bytes / kMiB));
    return byteCount(bytes);
}

std::string fileFailureReason(const FileError& e) {
    return e.refusal() ? refusalReason(*e.refusal()) : systemReason(e);
}

std::string fileFailureText(const FileError& e) { return e.shownName() + ": " + fileFailureReason(e); }

}  // namespace kt64::program
