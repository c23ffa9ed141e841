#include "platform/FileAge.h"

#include "platform/FileCalls.h"
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileAge FreshFileAge(const std::string &path)
{
    if (path.empty())
        return TFileAge::Missing();
    // Anyone in the office can put anything under this name: no link is
    // followed, a fifo never holds the open, and only a regular file counts.
    struct stat st {};
    const int fd = OpenRegularFile(path, O_RDONLY, 0, TLinks::Refuse, &st);
    if (fd < 0)
        return TFileAge::Missing();
    CountKivCall(TKivCall::Close);
    close(fd);
    return TFileAge{int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
}
