#include "platform/InstanceLock.h"

#include "platform/Paths.h"
#include "tests/platform/TempHome.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char **environ;

namespace {

/// What a lock taken in a separate process comes to.
TInstanceLockState StateInAnotherProcess()
{
    const pid_t pid = fork();
    if (pid == 0) {
        TInstanceLock lock;
        _exit(int(lock.State()));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return TInstanceLockState(WEXITSTATUS(status));
}

} // namespace

TEST(InstanceLock, ASecondCopyIsRefusedWhileTheFirstLivesAndAdmittedAfterItIsKilled)
{
    TTempHome home;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        TInstanceLock lock;
        const char state = char(lock.State());
        if (write(ready[1], &state, 1) == 1)
            for (;;)
                pause();
        _exit(1);
    }
    char state = -1;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    ASSERT_EQ(TInstanceLockState(state), TInstanceLockState::Acquired);
    EXPECT_EQ(StateInAnotherProcess(), TInstanceLockState::AlreadyHeld);
    EXPECT_TRUE(TInstanceLock().AlreadyRunning());
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    TInstanceLock after;
    EXPECT_EQ(after.State(), TInstanceLockState::Acquired) << after.Error();
    EXPECT_EQ(after.Path(), home.Runtime() + "/Qtv - Kiv.lock");
    close(ready[0]);
    close(ready[1]);
}

TEST(InstanceLock, HeldForTheLifeOfTheObjectAndNotByProgramsItStarts)
{
    TTempHome home;
    pid_t sleeper = -1;
    {
        TInstanceLock lock;
        ASSERT_EQ(lock.State(), TInstanceLockState::Acquired);
        EXPECT_EQ(TInstanceLock().State(), TInstanceLockState::AlreadyHeld) << "the same process counts too";
        char arg0[] = "sleep", arg1[] = "30";
        char *argv[] = {arg0, arg1, nullptr};
        ASSERT_EQ(posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
    }
    // The holder let go while its child still runs: the next start is not refused.
    EXPECT_EQ(StateInAnotherProcess(), TInstanceLockState::Acquired);
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);
}

TEST(InstanceLock, FallsBackToAPrivateFolderOfOurOwn)
{
    TTempHome home;
    const std::string own = home.Root() + "/kiv-" + std::to_string(geteuid());
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TInstanceLock().Path(), own + "/Qtv - Kiv.lock");
    struct stat st {};
    ASSERT_EQ(stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A runtime folder others may write into is passed over.
    chmod(home.Runtime().c_str(), 0777);
    TTempHome::Set("XDG_RUNTIME_DIR", home.Runtime());
    EXPECT_EQ(RuntimeFolder(), own);

    // A link planted where our folder goes is not followed.
    unlink((own + "/Qtv - Kiv.lock").c_str());
    ASSERT_EQ(rmdir(own.c_str()), 0);
    ASSERT_EQ(symlink(home.Runtime().c_str(), own.c_str()), 0);
    EXPECT_EQ(TInstanceLock().Path(), home.Home() + "/.local/share/Kiv/Qtv - Kiv.lock");
}

TEST(InstanceLock, AFifoInPlaceOfTheLockFileIsRefusedWithoutWaiting)
{
    TTempHome home;
    const std::string path = home.Runtime() + "/Qtv - Kiv.lock";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    alarm(10); // an open that waits ends the test program
    TInstanceLock lock;
    alarm(0);
    EXPECT_EQ(lock.State(), TInstanceLockState::Unavailable);
    EXPECT_EQ(lock.Error(), "Unable to open " + path + ": Not a regular file");
}
