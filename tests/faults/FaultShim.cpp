// Preloaded into a process under test: makes one chosen system call fail, as a full
// disk or a failing device would.
//
//   VT_FAULT_CALL   write, fsync (also fdatasync), rename (also renameat, renameat2),
//                   link (also linkat) or tmpfile (an open of a folder with O_TMPFILE);
//                   "all" logs every kind and fails none
//   VT_FAULT_PATH   a shell pattern the call's path must match (default "*"); for
//                   write and fsync the path of the descriptor, for rename and link
//                   either name, for tmpfile the folder
//   VT_FAULT_NTH    fail the Nth matching call (1 = the first); unset or 0 fails none
//   VT_FAULT_ERRNO  the errno to fail with (default ENOSPC)
//   VT_FAULT_KILL   when set, the process kills itself (SIGKILL) just before that
//                   call instead, as a crash or a power cut would stop it there
//   VT_FAULT_LOG    a file that gets one line per matching call: "CALL PATH"
//   VT_FAULT_NO_TMPFILE  when set, every O_TMPFILE open fails with EOPNOTSUPP, as on a
//                   file system without unnamed files (not counted as a call)

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <string>
#include <unistd.h>

namespace {

std::atomic<long> matchingCalls{0};

template <typename F> F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

const char *env(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string descriptorPath(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t n = readlink(link, path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string absolute(int dirFd, const char *path)
{
    if (!path)
        return {};
    if (path[0] == '/')
        return path;
    std::string base;
    if (dirFd == AT_FDCWD) {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            base = cwd;
    } else {
        base = descriptorPath(dirFd);
    }
    return base + "/" + path;
}

void log(const char *call, const std::string &path)
{
    const char *file = std::getenv("VT_FAULT_LOG");
    if (!file || !*file)
        return;
    static const auto realWrite = real<ssize_t (*)(int, const void *, size_t)>("write");
    const int fd = open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string line = std::string(call) + " " + path + "\n";
    realWrite(fd, line.data(), line.size());
    close(fd);
}

// Whether faults are asked for this kind of call: only then are paths looked up.
bool armed(const char *call)
{
    const char *wanted = env("VT_FAULT_CALL", "");
    return std::strcmp(wanted, call) == 0 || std::strcmp(wanted, "all") == 0;
}

// True when this call is the one to fail; errno is then set.
bool shouldFail(const char *call, const std::string &first, const std::string &second = {})
{
    const char *pattern = env("VT_FAULT_PATH", "*");
    const bool matches = (!first.empty() && fnmatch(pattern, first.c_str(), 0) == 0)
        || (!second.empty() && fnmatch(pattern, second.c_str(), 0) == 0);
    if (!matches)
        return false;
    log(call, second.empty() ? first : first + " " + second);
    const long nth = std::strcmp(env("VT_FAULT_CALL", ""), call) == 0
        ? std::atol(env("VT_FAULT_NTH", "0"))
        : 0;
    if (nth <= 0 || ++matchingCalls != nth)
        return false;
    if (std::getenv("VT_FAULT_KILL"))
        raise(SIGKILL);
    errno = std::atoi(env("VT_FAULT_ERRNO", "28"));
    return true;
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *buffer, size_t count)
{
    static const auto next = real<ssize_t (*)(int, const void *, size_t)>("write");
    if (armed("write") && shouldFail("write", descriptorPath(fd)))
        return -1;
    return next(fd, buffer, count);
}

int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    if (armed("fsync") && shouldFail("fsync", descriptorPath(fd)))
        return -1;
    return next(fd);
}

int fdatasync(int fd)
{
    static const auto next = real<int (*)(int)>("fdatasync");
    if (armed("fsync") && shouldFail("fsync", descriptorPath(fd)))
        return -1;
    return next(fd);
}

int rename(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("rename");
    if (armed("rename") && shouldFail("rename", absolute(AT_FDCWD, from), absolute(AT_FDCWD, to)))
        return -1;
    return next(from, to);
}

int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    static const auto next = real<int (*)(int, const char *, int, const char *)>("renameat");
    if (armed("rename") && shouldFail("rename", absolute(fromDir, from), absolute(toDir, to)))
        return -1;
    return next(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags)
{
    static const auto next
        = real<int (*)(int, const char *, int, const char *, unsigned)>("renameat2");
    if (armed("rename") && shouldFail("rename", absolute(fromDir, from), absolute(toDir, to)))
        return -1;
    return next(fromDir, from, toDir, to, flags);
}

int link(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("link");
    if (armed("link") && shouldFail("link", absolute(AT_FDCWD, from), absolute(AT_FDCWD, to)))
        return -1;
    return next(from, to);
}

int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    static const auto next = real<int (*)(int, const char *, int, const char *, int)>("linkat");
    if (armed("link") && shouldFail("link", absolute(fromDir, from), absolute(toDir, to)))
        return -1;
    return next(fromDir, from, toDir, to, flags);
}

// open and openat take a mode only with O_CREAT or O_TMPFILE.
#define VT_OPEN_MODE(flags, mode)                                                        \
    do {                                                                                   \
        if (((flags) & O_CREAT) || ((flags) & O_TMPFILE) == O_TMPFILE) {                   \
            va_list args;                                                                  \
            va_start(args, flags);                                                         \
            mode = va_arg(args, mode_t);                                                   \
            va_end(args);                                                                  \
        }                                                                                  \
    } while (false)

namespace {

// Whether an open of a new unnamed file in a folder is to fail; errno is then set.
bool failTmpfile(int dirFd, const char *path, int flags)
{
    if ((flags & O_TMPFILE) != O_TMPFILE)
        return false;
    if (std::getenv("VT_FAULT_NO_TMPFILE")) {
        errno = EOPNOTSUPP;
        return true;
    }
    return armed("tmpfile") && shouldFail("tmpfile", absolute(dirFd, path));
}

} // namespace

int open(const char *path, int flags, ...)
{
    static const auto next = real<int (*)(const char *, int, ...)>("open");
    mode_t mode = 0;
    VT_OPEN_MODE(flags, mode);
    if (failTmpfile(AT_FDCWD, path, flags))
        return -1;
    return next(path, flags, mode);
}

// One and the same call where files are 64-bit anyway.
int open64(const char *path, int flags, ...) __attribute__((alias("open")));

int openat(int dirFd, const char *path, int flags, ...)
{
    static const auto next = real<int (*)(int, const char *, int, ...)>("openat");
    mode_t mode = 0;
    VT_OPEN_MODE(flags, mode);
    if (failTmpfile(dirFd, path, flags))
        return -1;
    return next(dirFd, path, flags, mode);
}

} // extern "C"
