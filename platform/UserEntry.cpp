#include "platform/UserEntry.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

bool ReadUserEntry(TUserEntry &entry)
{
    const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? std::size_t(hint) : 1024);
    for (;;) {
        passwd record{};
        passwd *found = nullptr;
        const int rc = getpwuid_r(geteuid(), &record, buffer.data(), buffer.size(), &found);
        // Directory services may hand back entries larger than the hint.
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || found == nullptr)
            return false;
        entry.Name = record.pw_name != nullptr ? record.pw_name : "";
        entry.Home = record.pw_dir != nullptr ? record.pw_dir : "";
        return true;
    }
}
