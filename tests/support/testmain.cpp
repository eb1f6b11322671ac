// GoogleTest main with a Qt application object, so that timers and the event loop work.
#include <gtest/gtest.h>

#ifdef VELM_TEST_GUI
#include <QApplication>
using App = QApplication;
#else
#include <QCoreApplication>
using App = QCoreApplication;
#endif

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELM_TSAN 1
#endif
#endif

#ifdef VELM_TSAN
// ThreadSanitizer (clang 14) cannot follow a child that Qt's QProcess makes with a raw clone
// system call (it does so where the kernel has pidfds) and crashes in it. Under TSan only, the
// tests tell Qt that pidfds are missing, so that QProcess forks the ordinary way, which TSan
// follows.
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <sys/syscall.h>
#include <sys/wait.h>

extern "C" long syscall(long number, ...)
{
    va_list ap;
    va_start(ap, number);
    long a[6];
    for (long &x : a)
        x = va_arg(ap, long);
    va_end(ap);
#ifndef P_PIDFD
#define P_PIDFD 3
#endif
    if (number == SYS_waitid && a[0] == P_PIDFD) {
        errno = EINVAL;
        return -1;
    }
    using Real = long (*)(long, ...);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "syscall"));
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
#endif

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    App app(argc, argv);
    return RUN_ALL_TESTS();
}
