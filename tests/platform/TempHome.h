// A private home for one test: a fresh temporary folder with HOME and the XDG
// folders pointed into it, restored and removed when the test ends, so no test
// touches the real user's files.
#pragma once

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class TTempHome {
public:
    TTempHome()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/kiv-test-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FRoot = pattern;
        mkdir(Runtime().c_str(), 0700);
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
            const char *old = std::getenv(name);
            FSaved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        }
        Set("HOME", Home());
        Set("XDG_CONFIG_HOME", Home() + "/.config");
        Set("XDG_DATA_HOME", Home() + "/.local/share");
        Set("XDG_RUNTIME_DIR", Runtime());
        Set("TMPDIR", FRoot);
        mkdir(Home().c_str(), 0700);
    }
    ~TTempHome()
    {
        for (const auto &[name, value] : FSaved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        nftw(
            FRoot.c_str(), [](const char *path, const struct stat *, int, FTW *) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    TTempHome(const TTempHome &) = delete;
    TTempHome &operator=(const TTempHome &) = delete;

    const std::string &Root() const { return FRoot; }
    std::string Home() const { return FRoot + "/home"; }
    std::string Runtime() const { return FRoot + "/run"; }
    std::string Config() const { return Home() + "/.config"; }
    /// The settings file of the program's key.
    std::string SettingsFile() const { return Config() + "/Brackwater/Kiv.conf"; }

    static void Set(const char *name, const std::string &value) { setenv(name, value.c_str(), 1); }

    static std::string ReadAll(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteAll(const std::string &path, const std::string &bytes)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    /// Waits for every child; true when each ended with exit code 0.
    static bool AllSucceeded(const std::vector<pid_t> &children)
    {
        bool all = true;
        for (pid_t pid : children) {
            int status = 0;
            all = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && all;
        }
        return all;
    }
    static bool Exists(const std::string &path)
    {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0;
    }

private:
    std::string FRoot;
    std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};
