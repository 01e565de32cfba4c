// A library preloaded into Wine's processes in the Windows tests: it makes a pseudo-terminal look
// like a serial port with a device attached. A pseudo-terminal has no modem lines, and Wine ends
// every wait for a serial event as failed when it cannot read them. For pseudo-terminals only, it
// keeps DTR and RTS as the program sets them (TIOCMBIS, TIOCMBIC, TIOCMSET), answers the modem-line
// requests with them and CTS, DSR and CD up, the interrupt counters (all zero) and the line status
// (transmitter empty); every other request, and every other descriptor, goes to the real ioctl.
// Never shipped: a real port has real lines.
// FREKUENSI_MODEMLINES_UP: the lines a pseudo-terminal starts with, as a driver starts from its
// stored settings. FREKUENSI_MODEMLINES_LOG: a file to which each request that sets them is
// appended: "<monotonic ms> <tty> <request> <its bits> was <lines> now <lines>" (TIOCM_DTR 2,
// TIOCM_RTS 4).
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

namespace {

constexpr int kDriven = TIOCM_DTR | TIOCM_RTS;

// The slave sides of Unix 98 pseudo-terminals have majors 136 to 143.
bool isPseudoTerminal(int fd, dev_t *device)
{
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode) || major(status.st_rdev) < 136 ||
        major(status.st_rdev) > 143)
        return false;
    *device = status.st_rdev;
    return true;
}

// The lines a pseudo-terminal starts with: both on, the inbox serial driver's default, unless said.
const char *const g_up = std::getenv("FREKUENSI_MODEMLINES_UP");
const int g_startingLines =
    !g_up ? kDriven
          : (std::strstr(g_up, "DTR") ? TIOCM_DTR : 0) | (std::strstr(g_up, "RTS") ? TIOCM_RTS : 0);
std::mutex g_mutex;
std::map<dev_t, int> g_lines; // each pseudo-terminal's DTR and RTS

void logChange(dev_t device, unsigned long request, int bits, int before, int after)
{
    const char *path = std::getenv("FREKUENSI_MODEMLINES_LOG");
    if (!path)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const int out = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (out < 0)
        return;
    ::dprintf(out, "%lld /dev/pts/%u %s %d was %d now %d\n",
              static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000,
              (major(device) - 136) * 256 + minor(device),
              request == TIOCMBIS   ? "TIOCMBIS"
              : request == TIOCMBIC ? "TIOCMBIC"
                                    : "TIOCMSET",
              bits, before, after);
    ::close(out);
}

using Ioctl = int (*)(int, unsigned long, void *);

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);

    dev_t device = 0;
    if ((request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET ||
         request == TIOCGICOUNT || request == TIOCSERGETLSR) &&
        isPseudoTerminal(fd, &device)) {
        const std::lock_guard lock(g_mutex);
        auto lines = g_lines.try_emplace(device, g_startingLines).first;
        const int before = lines->second;
        if (request == TIOCMGET) {
            *static_cast<int *>(argument) = before | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
        } else if (request == TIOCGICOUNT) {
            std::memset(argument, 0, sizeof(serial_icounter_struct));
        } else if (request == TIOCSERGETLSR) {
            *static_cast<unsigned int *>(argument) = TIOCSER_TEMT;
        } else {
            const int bits = *static_cast<const int *>(argument) & kDriven;
            if (request == TIOCMBIS)
                lines->second |= bits;
            else if (request == TIOCMBIC)
                lines->second &= ~bits;
            else
                lines->second = bits;
            logChange(device, request, bits, before, lines->second);
        }
        return 0;
    }
    static const auto real = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, argument);
}
