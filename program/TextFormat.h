// printf-style formatting into a std::string, for the program's texts that
// carry numbers ("Blok odczytany nr %d", "%d:%.2d").
#pragma once

#include <cstdio>
#include <string>

namespace kt64::program {

template <typename... Args>
std::string formatText(const char* format, Args... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, args...);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

}  // namespace kt64::program
