// The few members of the link server that the program transfers use, behind
// an interface of their own: the console and the command line adapt the
// real client object, tests use a fake. A failed call throws LinkError with
// the server's HRESULT and, when the server sent one, its description.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "HResult.h"

namespace kt64::program {

class LinkError : public std::runtime_error {
public:
    LinkError(HRESULT code, std::optional<std::string> description)
        : std::runtime_error(description.value_or("")), code_(code), description_(std::move(description)) {}
    HRESULT code() const noexcept { return code_; }
    const std::optional<std::string>& description() const noexcept { return description_; }

private:
    HRESULT code_;
    std::optional<std::string> description_;
};

// The element type of a byte-array VARIANT (VT_ARRAY | VT_UI1): the only one
// that carries a command list.
inline constexpr std::uint32_t kByteArrayType = 0x2011;

// A command list as the server hands it over: its VARIANT type and bytes.
struct ReceivedList {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
};

class CentreLink {
public:
    virtual ~CentreLink() = default;
    // Whether the document holds a live link-server object.
    virtual bool Connected() const = 0;
    // e.g. "KT-64/GPS/1/232"
    virtual std::string BuildType() = 0;
    // Hands an image to the server for upload, as a byte array.
    virtual void PutRozkazy(std::span<const std::uint8_t> image) = 0;
    // Bytes of the upload still to send.
    virtual std::uint32_t RozkazPos() = 0;
    virtual void StartGetRozkazy() = 0;
    // Bytes of the download received so far.
    virtual std::uint32_t RozkazRxPos() = 0;
    virtual ReceivedList GetRozkazy() = 0;
    // Why the centre's latest status exchange failed, or nothing when it
    // succeeded or cannot be told. The server reports every failed transfer
    // as a bad checksum; the status exchange that follows a transfer says
    // whether the centre simply stopped answering. Waits for that exchange.
    virtual std::optional<LinkError> centreFault() { return std::nullopt; }
};

}  // namespace kt64::program
