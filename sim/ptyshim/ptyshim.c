/*
 * LD_PRELOAD shim for the Wine processes of the serial-port tests.
 *
 * A pseudo-terminal has no modem-status lines, so ioctl(TIOCMGET) fails on it.
 * Wine's overlapped WaitCommEvent treats that failure as the end of the wait
 * and completes at once with ERROR_OPERATION_ABORTED, where a real serial port
 * with a silent receiver keeps the wait pending. Answering TIOCMGET on pty
 * slaves (character devices with majors 136-143) with CTS, DSR and DCD on makes
 * a pty behave like a cabled port whose receiver simply says nothing.
 * Every other request, and TIOCMGET on anything else, goes to the real ioctl.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static ioctl_fn real_ioctl(void) {
    static ioctl_fn next;
    if (!next)
        next = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    return next;
}

/* Unix98 pty slaves use the character majors 136 to 143. */
static int is_pty_slave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    const unsigned int maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (request == TIOCMGET && arg && is_pty_slave(fd)) {
        *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
    }
    ioctl_fn next = real_ioctl();
    return next ? next(fd, request, arg) : -1;
}
