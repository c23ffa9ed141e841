// kivctl: the Kiv board from the command line.
#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "ctl/Terminal.h"

#include "KivVersion.h"

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    // Dates and times are the workstation's own regional texts, as the
    // program writes and reads them.
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    const TCtlParse parse = ParseCommandLine(args);
    switch (parse.Outcome) {
    case TCtlParse::Help:
        std::fputs(parse.Text.c_str(), stdout);
        return kExitSuccess;
    case TCtlParse::Version:
        std::puts("kivctl " KIV_VERSION_TEXT);
        return kExitSuccess;
    case TCtlParse::UsageError:
        PrintError(parse.Text);
        std::fputs("Try 'kivctl --help' for more information.\n", stderr);
        return kExitUsage;
    case TCtlParse::Run:
        break;
    }
    return RunRequest(parse.Request);
}
