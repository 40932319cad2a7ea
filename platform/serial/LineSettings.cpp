#include "LineSettings.h"

#include <cerrno>

namespace kt64::serial {

namespace {

speed_t speedOf(int baud) {
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

}  // namespace

int applyLineSettings(termios& tio, int baud, Parity parity, int dataBits, StopBits stopBits, FlowControl flow) {
    speed_t speed = speedOf(baud);
    if (speed == B0) return EINVAL;
    tcflag_t size = 0;
    switch (dataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return EINVAL;
    }
    if (flow != FlowControl::None) return EINVAL;

    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= size | CREAD | CLOCAL;
    switch (parity) {
    case Parity::None:
        break;
    case Parity::Even:
        tio.c_cflag |= PARENB;
        break;
    case Parity::Odd:
        tio.c_cflag |= PARENB | PARODD;
        break;
    // Stick parity: with CMSPAR, PARODD selects mark (1), its absence space (0).
    case Parity::Mark:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case Parity::Space:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return EINVAL;
    }
    switch (stopBits) {
    case StopBits::One:
        break;
    case StopBits::Two:
        tio.c_cflag |= CSTOPB;
        break;
    // A UART sends 1.5 stop bits for "two" with 5-bit characters; other
    // sizes cannot have them.
    case StopBits::OneAndHalf:
        if (dataBits != 5) return EINVAL;
        tio.c_cflag |= CSTOPB;
        break;
    default:
        return EINVAL;
    }
    // Reads are timed by poll(); the driver returns whatever is waiting.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return EINVAL;
    return 0;
}

std::chrono::nanoseconds characterTime(int baud, Parity parity, int dataBits, StopBits stopBits) {
    if (baud <= 0) return std::chrono::nanoseconds{0};
    // In half bits, for the one and a half stop bits.
    long long halfBits = 2 * (1 + dataBits + (parity == Parity::None ? 0 : 1));
    switch (stopBits) {
    case StopBits::One:
        halfBits += 2;
        break;
    case StopBits::OneAndHalf:
        halfBits += 3;
        break;
    case StopBits::Two:
        halfBits += 4;
        break;
    }
    return std::chrono::nanoseconds{halfBits * 1'000'000'000LL / (2LL * baud)};
}

}  // namespace kt64::serial
