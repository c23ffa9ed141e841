#include "platform/Files.h"

#include "platform/FileCalls.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Moves size bytes with transfer, one call after another until all are
// moved; the bytes moved. A call that moves nothing ends the loop: at the
// end of a file for a read, as an I/O error for a write.
template <typename Transfer>
std::size_t TransferAll(std::size_t size, bool writing, Transfer transfer)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = transfer(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0 && writing)
                errno = EIO;
            break;
        }
        done += std::size_t(n);
    }
    return done;
}

} // namespace

bool FileExists(const std::string &path)
{
    struct stat st {};
    CountKivCall(TKivCall::Stat);
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string &path)
{
    struct stat st {};
    CountKivCall(TKivCall::Stat);
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int OpenRegularFile(const std::string &path, int flags, mode_t mode, TLinks links, struct stat *seen)
{
    flags |= O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (links == TLinks::Refuse)
        flags |= O_NOFOLLOW;
    CountKivCall(TKivCall::Open);
    const int fd = open(path.c_str(), flags, mode);
    if (fd < 0) {
        // A FIFO without a reader, or a socket, answers a non-blocking open
        // for writing so.
        if (errno == ENXIO)
            errno = kNotRegularFile;
        return -1;
    }
    struct stat st {};
    CountKivCall(TKivCall::Stat);
    const bool examined = fstat(fd, &st) == 0;
    if (!examined || !S_ISREG(st.st_mode)) {
        const int error = examined ? kNotRegularFile : errno;
        close(fd);
        errno = error;
        return -1;
    }
    if (seen != nullptr)
        *seen = st;
    return fd;
}

std::string OpenErrorText(int error)
{
    if (error == ELOOP)
        return "The file is a symbolic link";
    if (error == kNotRegularFile)
        return "Not a regular file";
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

std::string RenameAside(const std::string &path, const std::string &suffix)
{
    constexpr int kNumbers = 100;
    for (int n = 0; n <= kNumbers; ++n) {
        const std::string aside = path + suffix + (n == 0 ? std::string() : "-" + std::to_string(n));
        if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0)
            return aside;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return std::string();
        // A file system that cannot refuse to replace: the name is looked at first.
        struct stat st {};
        if (lstat(aside.c_str(), &st) == 0)
            continue;
        if (rename(path.c_str(), aside.c_str()) == 0)
            return aside;
        return std::string();
    }
    errno = EEXIST;
    return std::string();
}

bool SyncFolder(const std::string &folder)
{
    CountKivCall(TKivCall::Open);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    CountKivCall(TKivCall::Sync);
    const bool synced = fsync(fd) == 0;
    CountKivCall(TKivCall::Close);
    close(fd);
    return synced;
}

std::size_t WriteAll(int fd, const void *data, std::size_t size)
{
    const auto *bytes = static_cast<const char *>(data);
    return TransferAll(size, true, [&](std::size_t done) {
        CountKivCall(TKivCall::Write);
        return write(fd, bytes + done, size - done);
    });
}

std::size_t WriteAllAt(int fd, const void *data, std::size_t size, off_t offset)
{
    const auto *bytes = static_cast<const char *>(data);
    return TransferAll(size, true, [&](std::size_t done) {
        CountKivCall(TKivCall::Write);
        return pwrite(fd, bytes + done, size - done, offset + off_t(done));
    });
}

std::size_t ReadAllAt(int fd, void *data, std::size_t size, off_t offset)
{
    auto *bytes = static_cast<char *>(data);
    return TransferAll(size, false, [&](std::size_t done) {
        CountKivCall(TKivCall::Read);
        return pread(fd, bytes + done, size - done, offset + off_t(done));
    });
}
