// Reading a board's datasets behind the data classes' backs, and reaching the
// counting stand-in engine, for the tests.
#pragma once

#include "board/BoardLocation.h"
#include "board/KivFile.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/KivError.h"
#include "storage/IsamFile.h"
#include "tests/storage/FakeEngine.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

struct TStoredUser {
    std::string Key;
    TUser User;
    UserRecord::TBuffer Bytes;
};

/// Every record of the users dataset in folder, in record-number order.
inline std::vector<TStoredUser> StoredUsers(const std::string &folder)
{
    std::vector<TStoredUser> users;
    TIsamFile isam;
    if (!isam.OpenDataset(BoardDatasetPath(folder, UserRecord::DatasetName), UserRecord::OpenMode, UserRecord::Format))
        return users;
    isam.GotoTop(UserRecord::NumberIndex);
    UserRecord::TBuffer bytes{};
    while (isam.ReadNext(bytes.data(), UserRecord::NumberIndex))
        users.push_back({isam.LastKey(), GetUserFields(bytes.data()), bytes});
    isam.CloseDataset();
    return users;
}

/// Changes the stored record of login in the users dataset of folder behind
/// TKivFile's back: change is given the record's bytes, which are then
/// written back. False when the record cannot be found or written.
template <typename Change>
bool ChangeStoredUser(const std::string &folder, const std::string &login, Change change)
{
    TIsamFile isam;
    if (!isam.OpenDataset(BoardDatasetPath(folder, UserRecord::DatasetName), UserRecord::OpenMode, UserRecord::Format))
        return false;
    UserRecord::TBuffer bytes{};
    bool done = isam.ReadEqual(bytes.data(), UserRecord::LoginIndex, login);
    if (done) {
        change(bytes.data());
        done = isam.ReplaceRecord(bytes.data(), isam.LastKey());
    }
    isam.CloseDataset();
    return done;
}

/// One record of a dataset of a single text field: its key and its text.
struct TStoredText {
    std::string Key;
    std::string Text;
    friend bool operator==(const TStoredText &, const TStoredText &) = default;
};

/// Every record of the one-text-field dataset at path (a field of width
/// bytes), in record-number order; empty when it cannot be opened.
inline std::vector<TStoredText> StoredTexts(const std::string &path, std::size_t width)
{
    std::vector<TStoredText> texts;
    TIsamFile isam;
    if (!isam.OpenDataset(path, UserRecord::OpenMode, "X$*" + std::to_string(width)))
        return texts;
    isam.GotoTop(UserRecord::NumberIndex);
    std::vector<char> bytes(width, 0);
    while (isam.ReadNext(bytes.data(), UserRecord::NumberIndex))
        texts.push_back({isam.LastKey(), GetFieldText(bytes.data(), width)});
    isam.CloseDataset();
    return texts;
}

#ifdef KIV_FAKE_ENGINE_DIR
/// The state of the stand-in engine, reset, its pretend datasets of the
/// format string format; null when no instance has loaded it yet.
inline TFakeEngineState *FreshFakeEngineState(const char *format)
{
    void *library = dlopen(TIsamFile::LibraryPath(KIV_FAKE_ENGINE_DIR).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr)
        return nullptr;
    TFakeEngineState *state = reinterpret_cast<TFakeEngineStateFn>(dlsym(library, kFakeEngineStateSymbol))();
    *state = TFakeEngineState();
    state->Format = format;
    return state;
}
#endif

/// A new board in the folder "board" of parent that its user may read but not
/// write, but for the Kiv.cfg every board has (a workstation that is not root
/// is refused everything else there); answers its path.
inline std::string NewReadOnlyBoard(const std::string &parent)
{
    const std::string board = parent + "/board";
    chmod(parent.c_str(), 0755);
    if (mkdir(board.c_str(), 0755) != 0)
        return std::string();
    std::ofstream(board + "/Kiv.cfg", std::ios::binary | std::ios::trunc);
    chmod((board + "/Kiv.cfg").c_str(), 0666);
    chmod(board.c_str(), 0555);
    return board;
}

/// The names in folder, so that a test can tell that nothing was left behind.
inline std::set<std::string> FolderNames(const std::string &folder)
{
    std::set<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

/// The lines of a log file's bytes, each without its carriage return and
/// line feed; a last line without them is kept as it is, with a
/// "<unended>" mark so that a test sees it.
inline std::vector<std::string> LogLines(const std::string &bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("<unended>" + bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

/// The values of one CSV line as a strict reader takes them: every value
/// enclosed in double quotes, a doubled quote inside standing for one, values
/// separated by commas. Nothing when the line is not so formed.
inline std::optional<std::vector<std::string>> CsvValues(const std::string &line)
{
    std::vector<std::string> values;
    std::size_t at = 0;
    for (;;) {
        if (at >= line.size() || line[at] != '"')
            return std::nullopt;
        std::string value;
        for (++at;; ++at) {
            if (at >= line.size())
                return std::nullopt;
            if (line[at] == '"') {
                if (at + 1 < line.size() && line[at + 1] == '"') {
                    value += '"';
                    ++at;
                    continue;
                }
                ++at;
                break;
            }
            value += line[at];
        }
        values.push_back(value);
        if (at == line.size())
            return values;
        if (line[at] != ',')
            return std::nullopt;
        ++at;
    }
}

/// The message of the EKivError that op raises; empty when it raises none.
template <typename Op>
std::string RaisedText(Op op)
{
    try {
        op();
    } catch (const EKivError &error) {
        return error.what();
    }
    return std::string();
}
