#include "platform/Paths.h"

#include "platform/UserEntry.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

/// The value of an environment variable when it names an absolute path; the
/// base directory rules ignore relative values.
std::string AbsoluteEnv(const char *name)
{
    const char *value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    return value;
}

std::string PasswordHome()
{
    TUserEntry entry;
    if (!ReadUserEntry(entry) || entry.Home.empty() || entry.Home[0] != '/')
        return {};
    return entry.Home;
}

/// base/sub, or empty when base is empty.
std::string Under(const std::string &base, const char *sub)
{
    return base.empty() ? std::string() : base + "/" + sub;
}

/// True when path is a folder owned by us that nobody else may write into,
/// checked without following a link planted in its place.
bool IsPrivateFolder(const std::string &path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

std::string HomeFolder()
{
    std::string home = AbsoluteEnv("HOME");
    return home.empty() ? PasswordHome() : home;
}

std::string ConfigFolder()
{
    std::string folder = AbsoluteEnv("XDG_CONFIG_HOME");
    return folder.empty() ? Under(HomeFolder(), ".config") : folder;
}

std::string DataFolder()
{
    std::string folder = AbsoluteEnv("XDG_DATA_HOME");
    return folder.empty() ? Under(HomeFolder(), ".local/share") : folder;
}

std::string KivDataFolder()
{
    const std::string folder = Under(DataFolder(), "Kiv");
    if (!folder.empty())
        MakeFolders(folder);
    return folder;
}

std::string AlertFolder()
{
    return KivDataFolder();
}

std::string RuntimeFolder()
{
    const std::string runtime = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (!runtime.empty() && IsPrivateFolder(runtime))
        return runtime;

    // A folder of our own in the shared temporary folder. Someone else may have
    // made it first to catch our files, so it is used only when it is ours alone.
    std::string tmp = AbsoluteEnv("TMPDIR");
    if (tmp.empty())
        tmp = "/tmp";
    const std::string own = tmp + "/kiv-" + std::to_string(geteuid());
    if (mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) {
        if (IsPrivateFolder(own))
            return own;
    }
    return KivDataFolder();
}

std::string AutostartFolder()
{
    return Under(ConfigFolder(), "autostart");
}

bool MakeFolders(const std::string &path, mode_t mode)
{
    if (path.empty())
        return false;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    // Each folder above the last, from the top down; an existing one is fine.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
    }
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
        return false;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ProgramPath()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (std::size_t(n) < buffer.size())
            return std::string(buffer.data(), std::size_t(n));
        if (buffer.size() >= (1u << 16))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}
