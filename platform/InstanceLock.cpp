#include "platform/InstanceLock.h"

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

/// The mutex name as a file name: a '/' or a control byte could not be part of one.
std::string LockFileName(std::string_view name)
{
    std::string file;
    for (char c : name)
        file += (c == '/' || IsControl(c)) ? '_' : c;
    return file + ".lock";
}

} // namespace

TInstanceLock::TInstanceLock(std::string_view name)
{
    const std::string folder = RuntimeFolder();
    if (folder.empty()) {
        FError = "No runtime folder for the lock file";
        return;
    }
    FPath = folder + "/" + LockFileName(name);
    // Not inherited by programs we start (a child holding the lock would block
    // the next start), never through a link planted in the folder, and only
    // a regular file.
    FFd = OpenRegularFile(FPath, O_RDWR | O_CREAT, 0600);
    if (FFd < 0) {
        FError = "Unable to open " + FPath + ": " + OpenErrorText(errno);
        return;
    }
    int rc;
    do
        rc = flock(FFd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        FState = TInstanceLockState::Acquired;
        return;
    }
    if (errno == EWOULDBLOCK) {
        FState = TInstanceLockState::AlreadyHeld;
    } else {
        FError = "Unable to lock " + FPath + ": " + std::strerror(errno);
    }
    close(FFd);
    FFd = -1;
}

TInstanceLock::~TInstanceLock()
{
    // The file stays: removing it could let a third copy lock a fresh file
    // while a second still holds the old one.
    if (FFd >= 0)
        close(FFd);
}
