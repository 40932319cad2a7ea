// What every member of the automation class answers: the HRESULT with its
// Polish text (empty text for S_OK), and for getters the value. A failing
// getter still carries the value it read, as the automation interface writes
// its out value before the validity rule is applied; the transport decides
// whether to pass it on.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "HResult.h"

namespace kt64::server {

struct CallStatus {
    HRESULT code = S_OK;
    std::string text;

    bool ok() const noexcept { return !failed(code); }
    static CallStatus success() { return {}; }
    static CallStatus failure(HRESULT hr, std::string_view text) { return {hr, std::string(text)}; }

    friend bool operator==(const CallStatus&, const CallStatus&) = default;
};

template <class T>
struct CallResult {
    T value{};
    CallStatus status;

    bool ok() const noexcept { return status.ok(); }
};

}  // namespace kt64::server
