#include "Worker.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EngineApi.h"

extern char **environ;

namespace vbistest {

TWorker::TWorker(const std::vector<std::string> &args)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        std::abort();
    }
    const std::string program = ProgramFolder() + "/vbis_worker";
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const int rc = posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    FOut = fds[0];
    if (rc != 0) {
        std::fprintf(stderr, "cannot start %s: %d\n", program.c_str(), rc);
        std::abort();
    }
}

TWorker::~TWorker()
{
    if (!FEnded) {
        Kill();
        Wait();
    }
    if (FOut >= 0)
        ::close(FOut);
}

bool TWorker::ReadLine(std::string &line)
{
    while (true) {
        const std::size_t end = FPending.find('\n');
        if (end != std::string::npos) {
            line = FPending.substr(0, end);
            FPending.erase(0, end + 1);
            return true;
        }
        char chunk[4096];
        const ssize_t n = ::read(FOut, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // a line cut short by a kill is no line
        FPending.append(chunk, std::size_t(n));
    }
}

std::vector<std::string> TWorker::ReadAll()
{
    std::vector<std::string> lines;
    std::string line;
    while (ReadLine(line))
        lines.push_back(line);
    return lines;
}

void TWorker::Kill()
{
    if (!FEnded && FPid > 0)
        ::kill(FPid, SIGKILL);
}

int TWorker::Wait()
{
    if (FEnded || FPid <= 0)
        return -1;
    int status = 0;
    while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
    }
    FEnded = true;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

} // namespace vbistest
