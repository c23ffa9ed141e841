// Runs a fuzz target over saved inputs without libFuzzer: every file named on
// the command line, or in a folder named there, is one input. Used to run the
// saved corpus as an ordinary test with any compiler.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size);

namespace {

int RunFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string input = bytes.str();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int failures = 0, inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            std::fprintf(stderr, "no such input: %s\n", path.c_str());
            ++failures;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            failures += RunFile(path);
            ++inputs;
            continue;
        }
        DIR *dir = ::opendir(path.c_str());
        while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            failures += RunFile(path + "/" + name);
            ++inputs;
        }
        if (dir)
            ::closedir(dir);
    }
    std::printf("%d inputs run\n", inputs);
    return failures == 0 && inputs > 0 ? 0 : 1;
}
