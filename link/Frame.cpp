#include "Frame.h"

namespace kt64::link {

Bytes buildFrame(std::uint8_t command, ByteSpan data) {
    Bytes frame;
    frame.reserve(data.size() + 4);
    frame.push_back(kEsc);
    frame.push_back(command);
    frame.push_back(static_cast<std::uint8_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(xorOf(frame));
    return frame;
}

}  // namespace kt64::link
