// A library preloaded into Wine's processes in the Windows tests: it makes a pseudo-terminal look
// like a serial port with a device attached. A pseudo-terminal has no modem lines, and Wine ends
// every wait for a serial event as failed when it cannot read them. For pseudo-terminals only, it
// answers the modem-line requests (DTR, RTS, CTS, DSR and CD up), the interrupt counters (all
// zero) and the line status (transmitter empty); every other request, and every other descriptor,
// goes to the real ioctl. Never shipped: a real port has real lines.
#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdarg>
#include <cstring>

namespace {

// The slave sides of Unix 98 pseudo-terminals have majors 136 to 143.
bool isPseudoTerminal(int fd)
{
    struct stat status;
    return ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) >= 136 &&
           major(status.st_rdev) <= 143;
}

using Ioctl = int (*)(int, unsigned long, void *);

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);

    if ((request == TIOCMGET || request == TIOCGICOUNT || request == TIOCSERGETLSR) &&
        isPseudoTerminal(fd)) {
        if (request == TIOCMGET)
            *static_cast<int *>(argument) =
                TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
        else if (request == TIOCGICOUNT)
            std::memset(argument, 0, sizeof(serial_icounter_struct));
        else
            *static_cast<unsigned int *>(argument) = TIOCSER_TEMT;
        return 0;
    }
    static const auto real = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, argument);
}
