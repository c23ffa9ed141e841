#include "platform/FileAge.h"

#include "platform/FileCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileAge FreshFileAge(const std::string &path)
{
    if (path.empty())
        return TFileAge::Missing();
    // Anyone in the office can put anything under this name: no link is
    // followed, and O_NONBLOCK keeps a fifo from holding the open.
    CountKivCall(vbis::TFileCall::Open);
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return TFileAge::Missing();
    struct stat st {};
    CountKivCall(vbis::TFileCall::Stat);
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    CountKivCall(vbis::TFileCall::Close);
    close(fd);
    if (!regular)
        return TFileAge::Missing();
    return TFileAge{int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
}
