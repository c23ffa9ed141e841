// Test helpers shared by the storage and board tests: a private temporary
// folder per test, whole-file reads and writes, and child processes that
// stand in for other workstations.
#pragma once

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

/// A fresh folder under $TMPDIR (or /tmp), removed with all it holds at the end.
class TTestFolder {
public:
    TTestFolder()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/kiv-board-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TTestFolder()
    {
        // Read-only subfolders are made writable again so that they can go.
        nftw(
            FPath.c_str(),
            [](const char *path, const struct stat *st, int type, FTW *) {
                if (type == FTW_D || type == FTW_DP)
                    chmod(path, st->st_mode | S_IRWXU);
                return 0;
            },
            16, FTW_PHYS);
        nftw(
            FPath.c_str(), [](const char *path, const struct stat *, int, FTW *) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    TTestFolder(const TTestFolder &) = delete;
    TTestFolder &operator=(const TTestFolder &) = delete;

    /// The folder, without a trailing separator.
    const std::string &Path() const { return FPath; }
    /// A path inside the folder.
    std::string operator/(const std::string &name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

inline std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool PathExists(const std::string &path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

/// The user id a child takes to be refused what the folder's permissions
/// refuse (root is refused nothing): nobody's.
inline constexpr uid_t kUnprivilegedId = 65534;

/// Runs body in a child process and answers its exit code (body's result),
/// or -1 when the child died. With unprivileged, a child started by root
/// first becomes nobody.
inline int RunInChild(const std::function<int()> &body, bool unprivileged = false)
{
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int code = 99;
        if (unprivileged && geteuid() == 0 && (setgid(kUnprivilegedId) != 0 || setuid(kUnprivilegedId) != 0))
            _exit(98);
        try {
            code = body();
        } catch (...) {
            code = 97;
        }
        _exit(code);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

/// Starts count child processes that all begin body(n), n = 0 to count - 1, at
/// the same moment, and answers their exit codes (-1 for a child that died).
inline std::vector<int> RunTogether(int count, const std::function<int(int)> &body)
{
    std::vector<int> codes;
    int start[2];
    if (pipe(start) != 0)
        return codes;
    std::vector<pid_t> children;
    for (int n = 0; n < count; ++n) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(start[1]);
            char go;
            (void)!read(start[0], &go, 1); // every child goes when the pipe closes
            int code = 99;
            try {
                code = body(n);
            } catch (...) {
                code = 97;
            }
            _exit(code);
        }
        children.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    for (pid_t pid : children) {
        int status = 0;
        codes.push_back(pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return codes;
}
