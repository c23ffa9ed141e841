// A second workstation for the engine's tests: a program of its own that
// loads VBIS4032.DLL and works on a dataset while the test watches.
//
// Every write the engine acknowledges is reported at once on standard output
// as one whole line written with one write(2) call, so a test that kills the
// worker still holds every acknowledgement given before the kill.
//
//   vbis_worker mix PATH ID FIRST COUNT [retry]
//                                          COUNT writes numbered I = FIRST...: odd ones add a record
//                                          under a key the engine chooses ("A KEY ID I"), even ones
//                                          replace record number ID with counter I ("R ID I"); each
//                                          opens and closes the dataset. retry: on "Multi-user
//                                          access", try again ("B" lines).
//   vbis_worker add PATH KEY TEXT          one add; prints "A KEY TEXT" or "E CODE".
//   vbis_worker stamps PATH COUNT          COUNT replaces of record 1, printing the data file's
//                                          modification time after each ("S SEC NSEC").
//   vbis_worker open PATH                  opens, walks index 0 and prints "C CODE COUNT".
//   vbis_worker fill PATH                  creates the dataset and adds records until a write fails:
//                                          "A KEY" per add, then "E CODE", then "H CODE COUNT" for a
//                                          walk through the same handle, then as "open" does.
//   vbis_worker churn PATH STABLE MILLIS   for MILLIS ms adds and erases records under odd keys below
//                                          2 * STABLE (owner texts among the stable ones'), and
//                                          replaces the counter of the even-keyed records; prints
//                                          "D WRITES" at the end.
//   vbis_worker recreate PATH TEXT         deletes the dataset's files, creates it again and adds
//                                          one record of owner TEXT; prints "N CODE".
//   vbis_worker replace PATH KEY TEXT      one replace; prints "R KEY TEXT" or "E CODE".
// Options before the command: --deadline=SECONDS (the worker is ended by
// SIGALRM if it is still running then), --user=UID (drop root for the rest of the run),
// --tmpfs=FOLDER:BYTES (a file system of that size over FOLDER, in a mount
// namespace of the worker's own; prints "SKIP" when that is not allowed).
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kit/EngineApi.h"
#include "kit/Records.h"
#include "kit/Worker.h"
#include "platform/Files.h"

using namespace vbistest;

namespace {

constexpr const char *kFormat = kWorkerFormat;
constexpr std::size_t kLength = kWorkerRecordLength;

void Say(const std::string &line)
{
    const std::string whole = line + "\n";
    if (WriteAll(STDOUT_FILENO, whole.data(), whole.size()) != whole.size())
        std::exit(3);
}

int Mix(const std::string &path, int id, int first, int count, bool retry)
{
    for (int i = first; i < first + count; ++i) {
        TRecord record(kLength);
        record.Text(0, 21, "w" + std::to_string(id) + ":" + std::to_string(i)).Int(21, int16_t(i));
        while (true) {
            TOpenDataset ds;
            int16_t code = ds.Open(path);
            std::string key;
            if (code == VBIS_OK)
                code = i % 2 ? ds.Add(key, record.Data()) : ds.Replace(RecordNumber(id), record.Data());
            if (code == VBIS_OK) {
                // Acknowledged only once the engine said so.
                Say(i % 2 ? "A " + key + " " + std::to_string(id) + " " + std::to_string(i)
                          : "R " + std::to_string(id) + " " + std::to_string(i));
                break;
            }
            if (code == VBIS_MULTI_USER && retry) {
                Say("B");
                continue;
            }
            Say("E " + std::to_string(code));
            return 1;
        }
    }
    return 0;
}

// One add ("A KEY TEXT") or replace ("R KEY TEXT"), or "E CODE".
int PutOne(const std::string &path, const std::string &key, const std::string &text, bool add)
{
    TOpenDataset ds;
    int16_t code = ds.Open(path);
    const TRecord record = TRecord(kLength).Text(0, 21, text);
    if (code == VBIS_OK)
        code = add ? ds.Add(key, record.Data()) : ds.Replace(key, record.Data());
    Say(code == VBIS_OK ? (add ? "A " : "R ") + key + " " + text : "E " + std::to_string(code));
    return code == VBIS_OK ? 0 : 1;
}

// Another workstation busy on the dataset while a test walks it.
int Churn(const std::string &path, int stable, int millis)
{
    std::mt19937 random(unsigned(::getpid()));
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    int writes = 0;
    while (std::chrono::steady_clock::now() < end) {
        TOpenDataset ds;
        int16_t code = ds.Open(path);
        const int n = int(random() % unsigned(stable));
        const std::string odd = RecordNumber(2 * n + 1);
        const std::string even = RecordNumber(2 * (n + 1));
        TRecord record(kLength);
        if (code == VBIS_OK && (code = ds.Get(0, VBIS_READ_EQUAL, odd, record.Data())) == VBIS_OK) {
            code = ds.Delete(odd);
        } else if (code == VBIS_NOT_FOUND) {
            // Owner texts like the stable records', so the index walks meet them.
            const std::string owner = random() % 4 == 0 ? "run" : "s" + std::to_string(10000 + n * 7919 % stable) + "+";
            code = ds.Add(odd, record.Text(0, 21, owner).Int(21, int16_t(writes)).Data());
        }
        if (code == VBIS_OK && (code = ds.Get(0, VBIS_READ_EQUAL, even, record.Data())) == VBIS_OK)
            code = ds.Replace(even, record.Int(21, int16_t(writes)).Data());
        if (code != VBIS_OK && code != VBIS_MULTI_USER) {
            Say("E " + std::to_string(code));
            return 1;
        }
        writes += 2;
    }
    Say("D " + std::to_string(writes));
    return 0;
}

int Recreate(const std::string &path, const std::string &text)
{
    for (const char *extension : {".ism", ".isd", ".isd-journal"})
        ::unlink((path + extension).c_str());
    int16_t code = CreateDataset(path, kFormat);
    if (code == VBIS_OK) {
        TOpenDataset ds;
        if ((code = ds.Open(path)) == VBIS_OK)
            code = ds.Add(RecordNumber(1), TRecord(kLength).Text(0, 21, text).Data());
    }
    Say("N " + std::to_string(code));
    return code == VBIS_OK ? 0 : 1;
}

int Stamps(const std::string &path, int count)
{
    TOpenDataset ds;
    int16_t code = ds.Open(path);
    for (int i = 0; code == VBIS_OK && i < count; ++i) {
        code = ds.Replace(RecordNumber(1), TRecord(kLength).Text(0, 21, "stamp").Int(21, int16_t(i)).Data());
        struct stat st;
        if (code == VBIS_OK && ::stat((path + ".isd").c_str(), &st) == 0)
            Say("S " + std::to_string(st.st_mtim.tv_sec) + " " + std::to_string(st.st_mtim.tv_nsec));
    }
    if (code != VBIS_OK)
        Say("E " + std::to_string(code));
    return code == VBIS_OK ? 0 : 1;
}

// Walks the open dataset ds and says "C <code> <records>" (with the given
// letter).
int Walk(TOpenDataset &ds, int16_t code, const char *letter = "C")
{
    int count = 0;
    if (code == VBIS_OK && (code = ds.Top(0)) == VBIS_OK) {
        TRecord record(kLength);
        while ((code = ds.Get(0, VBIS_READ_NEXT, "", record.Data())) == VBIS_OK)
            ++count;
        if (code == VBIS_NOT_FOUND)
            code = VBIS_OK;
    }
    Say(letter + (" " + std::to_string(code)) + " " + std::to_string(count));
    return 0;
}

int OpenAndWalk(const std::string &path)
{
    TOpenDataset ds;
    const int16_t code = ds.Open(path);
    return Walk(ds, code);
}

int Fill(const std::string &path)
{
    int16_t code = CreateDataset(path, kFormat);
    {
        TOpenDataset ds;
        if (code == VBIS_OK)
            code = ds.Open(path);
        for (int i = 0; code == VBIS_OK; ++i) {
            std::string key;
            code = ds.Add(key, TRecord(kLength).Text(0, 21, "filler " + std::to_string(i)).Data());
            if (code == VBIS_OK)
                Say("A " + key);
        }
        Say("E " + std::to_string(code));
        // The handle that met the full disk reads what is on the disk.
        Walk(ds, VBIS_OK, "H");
    }
    // What was acknowledged before the disk ran full is all still there.
    return OpenAndWalk(path);
}

// A small file system over folder, seen by this process only.
bool MountSmallFileSystem(const std::string &spec)
{
    const std::size_t colon = spec.rfind(':');
    if (colon == std::string::npos)
        return false;
    const std::string folder = spec.substr(0, colon);
    const std::string options = "size=" + spec.substr(colon + 1);
    return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
           && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    int arg = 1;
    for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
        const std::string option = argv[arg];
        if (option.rfind("--tmpfs=", 0) == 0) {
            if (!MountSmallFileSystem(option.substr(8))) {
                Say("SKIP");
                return 0;
            }
        } else if (option.rfind("--deadline=", 0) == 0) {
            ::alarm(unsigned(std::atoi(option.c_str() + 11)));
        } else if (option.rfind("--user=", 0) == 0) {
            const auto uid = uid_t(std::atoi(option.c_str() + 7));
            if (::setgid(uid) != 0 || ::setuid(uid) != 0) {
                Say("SKIP");
                return 0;
            }
        }
    }
    if (argc - arg < 2) {
        std::fprintf(stderr, "usage: vbis_worker [options] mix|add|stamps|open|fill|churn|recreate|replace PATH ...\n");
        return 2;
    }
    Engine(); // loaded before any work, as the board program does
    const std::string command = argv[arg];
    const std::string path = argv[arg + 1];
    const int rest = argc - arg - 2;
    char **more = argv + arg + 2;
    if (command == "mix" && rest >= 3)
        return Mix(path, std::atoi(more[0]), std::atoi(more[1]), std::atoi(more[2]), rest >= 4);
    if (command == "add" && rest == 2)
        return PutOne(path, more[0], more[1], true);
    if (command == "stamps" && rest == 1)
        return Stamps(path, std::atoi(more[0]));
    if (command == "open")
        return OpenAndWalk(path);
    if (command == "fill")
        return Fill(path);
    if (command == "churn" && rest == 2)
        return Churn(path, std::atoi(more[0]), std::atoi(more[1]));
    if (command == "recreate" && rest == 1)
        return Recreate(path, more[0]);
    if (command == "replace" && rest == 2)
        return PutOne(path, more[0], more[1], false);
    std::fprintf(stderr, "vbis_worker: bad command line\n");
    return 2;
}
