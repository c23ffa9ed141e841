#include "platform/FileAge.h"

#include <sys/stat.h>

#include "platform/FileCalls.h"

TFileAge FileAge(const std::string &path)
{
    // stat by path, never open/close: closing any descriptor of a dataset file
    // would drop the POSIX locks the engine holds on it in this process.
    struct stat st {};
    CountKivCall(TKivCall::Stat);
    if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return TFileAge::Missing();
    return TFileAge{int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
}
