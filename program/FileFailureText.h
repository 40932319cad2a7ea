// A file that could not be read, worded in Polish for the messages that
// name it after a Polish sentence ("Nie można odczytać pliku kalendarza
// …"), so that a message keeps to one language: the kind or size refusal
// of WholeFile and the system's reasons users meet most, each in Polish;
// a rarer system reason stays the system's own text.
#pragma once

#include <cstdint>
#include <string>

#include "WholeFile.h"

namespace kt64::program {

// "<file>: <reason>", e.g. "plan.ics: 52428936 bajtów, a ten plik może
// mieć najwyżej 16 MiB", "ferie: to katalog, nie plik".
std::string fileFailureText(const FileError& e);
// The same without the file's name.
std::string fileFailureReason(const FileError& e);
// "1 bajt", "3 bajty", "52428936 bajtów"; a whole number of MiB as "16 MiB".
std::string byteCount(std::uint64_t bytes);
std::string sizeLimit(std::uint64_t bytes);

}  // namespace kt64::program
