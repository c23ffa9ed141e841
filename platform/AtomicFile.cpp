#include "platform/AtomicFile.h"

#include "platform/Files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void SetError(std::string *error, const std::string &what, int code)
{
    if (error != nullptr)
        *error = what + ": " + std::strerror(code);
}

/// The file a write to path really replaces: the target of a link, so a link
/// to a file kept elsewhere stays a link.
std::string ResolveTarget(const std::string &path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr)
            return resolved;
    }
    return path;
}

/// A new temporary file beside target, opened for writing; -1 on failure.
int MakeTemporary(const std::string &target, std::string &tempPath)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0)
        tempPath = pattern;
    return fd;
}

/// Flushes, closes and renames a fully written temporary file over target.
bool Commit(int fd, const std::string &tempPath, const std::string &target, mode_t mode, std::string *error,
            TFlush flush = TFlush::ToDisk)
{
    if (fchmod(fd, mode) != 0 || (flush == TFlush::ToDisk && fsync(fd) != 0)) {
        const int code = errno;
        close(fd);
        unlink(tempPath.c_str());
        SetError(error, "Unable to write " + target, code);
        return false;
    }
    if (close(fd) != 0) {
        const int code = errno;
        unlink(tempPath.c_str());
        SetError(error, "Unable to write " + target, code);
        return false;
    }
    if (rename(tempPath.c_str(), target.c_str()) != 0) {
        const int code = errno;
        unlink(tempPath.c_str());
        SetError(error, "Unable to replace " + target, code);
        return false;
    }
    // The folder entry of the rename, so the new name survives a power cut.
    if (flush == TFlush::ToDisk)
        SyncFolder(FolderOf(target));
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string &path, std::string_view bytes, mode_t mode, std::string *error, TLinks links,
                         TFlush flush)
{
    const std::string target = links == TLinks::Follow ? ResolveTarget(path) : path;
    std::string tempPath;
    const int fd = MakeTemporary(target, tempPath);
    if (fd < 0) {
        SetError(error, "Unable to create a file beside " + target, errno);
        return false;
    }
    if (WriteAll(fd, bytes.data(), bytes.size()) != bytes.size()) {
        const int code = errno;
        close(fd);
        unlink(tempPath.c_str());
        SetError(error, "Unable to write " + target, code);
        return false;
    }
    return Commit(fd, tempPath, target, mode, error, flush);
}

bool ReadFilePrefix(const std::string &path, std::size_t limit, std::string &bytes, bool &truncated, TLinks links)
{
    bytes.clear();
    truncated = false;
    const int fd = OpenRegularFile(path, O_RDONLY, 0, links);
    if (fd < 0)
        return false;
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            close(fd);
            errno = code;
            return false;
        }
        if (n == 0)
            break;
        const std::size_t room = limit - bytes.size();
        if (std::size_t(n) > room) {
            bytes.append(chunk, room);
            truncated = true;
            break;
        }
        bytes.append(chunk, std::size_t(n));
    }
    close(fd);
    return true;
}

bool CopyFileAtomically(const std::string &from, const std::string &to, mode_t mode, std::string *error)
{
    const int in = OpenRegularFile(from, O_RDONLY, 0, TLinks::Follow);
    if (in < 0) {
        if (error != nullptr)
            *error = "Unable to read " + from + ": " + OpenErrorText(errno);
        return false;
    }
    const std::string target = ResolveTarget(to);
    std::string tempPath;
    const int out = MakeTemporary(target, tempPath);
    if (out < 0) {
        SetError(error, "Unable to create a file beside " + target, errno);
        close(in);
        return false;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        const std::size_t size = std::size_t(n > 0 ? n : 0);
        if (n < 0 || WriteAll(out, chunk, size) != size) {
            const int code = errno;
            close(in);
            close(out);
            unlink(tempPath.c_str());
            SetError(error, n < 0 ? "Unable to read " + from : "Unable to write " + target, code);
            return false;
        }
        if (n == 0)
            break;
    }
    close(in);
    return Commit(out, tempPath, target, mode, error);
}
