#pragma once

#include <pthread.h>
#include <sys/types.h>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/serialdevice.h"

struct stat;
struct pollfd;

// The system calls the serial device makes, behind one seam so that tests can fake what needs
// hardware (modem-line ioctls, a wait interrupted by a signal, a refused permission) while the
// rest goes to the real system. Every function returns as its system call does: -1 with errno
// set on failure. The default forwards to the system.
class SerialSystem {
public:
    virtual ~SerialSystem() = default;
    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual int Ioctl(int fd, unsigned long request, void* arg);
    virtual int Fstat(int fd, struct stat* st);
    virtual int Stat(const char* path, struct stat* st);
    virtual int Lstat(const char* path, struct stat* st);
    virtual int Flock(int fd, int operation);
    virtual int Poll(struct pollfd* fds, unsigned long count, int timeoutMs);
    // CLOCK_MONOTONIC in nanoseconds.
    virtual std::int64_t MonotonicNs();
    // poll() until an absolute CLOCK_MONOTONIC deadline: an oversleep of one call never moves
    // the next deadline. 0 when the deadline passed with nothing ready.
    virtual int PollUntil(struct pollfd* fds, unsigned long count, std::int64_t deadlineNs);
    // Sends the wake-up signal to the calling thread every `us` microseconds from now on until
    // cancelled with 0. It repeats because a signal that lands just before the thread enters its
    // wait is spent in user space and would otherwise leave the wait without its re-check.
    virtual int WakeMeAfter(long us);
    // Where sysfs is mounted ("/sys").
    virtual QString SysfsRoot();
    // A non-blocking, close-on-exec eventfd.
    virtual int EventFd();
    virtual long Read(int fd, void* buffer, unsigned long size);
    virtual long Write(int fd, const void* buffer, unsigned long size);
    // Sends the wake-up signal that releases a thread blocked in a modem-line wait.
    virtual int InterruptThread(pthread_t thread);
    // The calling thread's id (gettid).
    virtual pid_t ThreadId();
    // What /proc/self/task/<tid>/syscall says of a thread of this process: the number and
    // arguments of the system call it is blocked in, or "running". False where the file cannot
    // be read.
    virtual bool TaskSyscall(pid_t tid, std::string& text);
    // The name of a group; empty when unknown.
    virtual QString GroupName(gid_t gid);

    static SerialSystem& Default();
};

// The device path of "COM" + port: the entry <config>/<base name>/ports/COM<n> when it exists
// (normally a symbolic link, so that any device can be named), else COM1-4 -> /dev/ttyS0-3,
// COM5-12 -> /dev/ttyUSB0-7, COM13-16 -> /dev/ttyACM0-3. Empty when the port has no device.
QString ComDevicePath(SerialSystem& system, int port);

// The Linux device on a given seam.
std::unique_ptr<SerialDevice> CreateSerialDevice(SerialSystem& system);
