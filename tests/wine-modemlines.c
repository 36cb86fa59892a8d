/* Preloaded into Wine for the suite and the demo: answers a pseudo-terminal's
 * modem-line query (TIOCMGET) as a port with its lines up would.
 *
 * Wine 8 ends a pending WaitCommEvent with "operation aborted" as soon as data
 * arrives when it cannot read the port's modem lines, and a pseudo-terminal has
 * none; Qt's serial port then stops reading, so nothing the simulator sends
 * would reach the program. A real COM port answers the query itself and never
 * gets here. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real)(int, unsigned long, ...);
    va_list args;
    void *argument;
    int result;

    if (!real)
        real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_start(args, request);
    argument = va_arg(args, void *);
    va_end(args);
    result = real(fd, request, argument);
    if (result == -1 && request == TIOCMGET && (errno == ENOTTY || errno == EINVAL) && argument) {
        *(int *)argument = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
    }
    return result;
}
