// Reading a board's datasets behind the data classes' backs, and reaching the
// counting stand-in engine, for the tests.
#pragma once

#include "board/KivFile.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/KivError.h"
#include "storage/IsamFile.h"
#include "tests/storage/FakeEngine.h"

#include <dlfcn.h>
#include <fstream>
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
    if (!isam.OpenDataset(folder + "/" + UserRecord::DatasetName, UserRecord::OpenMode))
        return users;
    isam.GotoTop(UserRecord::NumberIndex);
    UserRecord::TBuffer bytes{};
    while (isam.ReadNext(bytes.data(), UserRecord::NumberIndex))
        users.push_back({isam.LastKey(), GetUserFields(bytes.data()), bytes});
    isam.CloseDataset();
    return users;
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
    if (!isam.OpenDataset(path, UserRecord::OpenMode))
        return texts;
    isam.GotoTop(UserRecord::NumberIndex);
    std::vector<char> bytes(width, 0);
    while (isam.ReadNext(bytes.data(), UserRecord::NumberIndex))
        texts.push_back({isam.LastKey(), GetFieldText(bytes.data(), width)});
    isam.CloseDataset();
    return texts;
}

#ifdef KIV_FAKE_ENGINE_DIR
/// The state of the stand-in engine, reset; null when no instance has loaded it yet.
inline TFakeEngineState *FreshFakeEngineState()
{
    void *library = dlopen(TIsamFile::LibraryPath(KIV_FAKE_ENGINE_DIR).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr)
        return nullptr;
    TFakeEngineState *state = reinterpret_cast<TFakeEngineStateFn>(dlsym(library, kFakeEngineStateSymbol))();
    *state = TFakeEngineState();
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
