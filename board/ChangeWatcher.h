// What changed on a board since a front end last looked. Every copy learns of
// everybody else's work by asking this, never by opening a dataset while
// nothing has changed: the window's board and message timers and kivctl's
// watch ask the same watcher. A board in a folder answers from file ages; a
// board behind a server can answer from a change counter instead.
#pragma once

#include <memory>
#include <string>

/// What a look asks about and what it answers changed: a set of these bits.
namespace BoardChange {
inline constexpr unsigned Users = 1u << 0;       ///< the users dataset
inline constexpr unsigned Messages = 1u << 1;    ///< the messages dataset
inline constexpr unsigned Shutdown = 1u << 2;    ///< the shutdown marker is there (not a change: a state)
inline constexpr unsigned Config = 1u << 3;      ///< Kiv.cfg, the board-wide switches
inline constexpr unsigned Departments = 1u << 4; ///< the department catalogue
} // namespace BoardChange

/// The answer of one look.
struct TBoardChanges {
    /// The BoardChange bits of what changed since the last look at it, and
    /// Shutdown when the board is being shut down.
    unsigned Changed = 0;
    /// The users dataset could not be reached at this look (only when asked
    /// about the users dataset): the board folder is gone or out of reach.
    bool Unreachable = false;
    /// Why, when the watcher can tell more than that the folder is gone
    /// (a board server: "Board server unreachable" and its reason).
    std::string Fault;

    bool Has(unsigned what) const { return (Changed & what) != 0; }
};

class IChangeWatcher {
public:
    virtual ~IChangeWatcher() = default;
    /// Looks at what (BoardChange bits) and answers which of them changed
    /// since the last look at each; the look is remembered.
    virtual TBoardChanges Look(unsigned what) = 0;
    /// Takes what as it is now as seen, without answering it: the state a
    /// front end has just read in full (start-up).
    virtual void Settle(unsigned what) = 0;
    /// Forgets the last look at what, so the next look answers it as
    /// changed: work that failed on a change is tried again.
    virtual void Forget(unsigned what) = 0;
    /// A descriptor that becomes readable when the board pushes news of a
    /// change, for a front end to wait on beside its timers; -1 when the
    /// board pushes nothing (a folder) or cannot be reached now. It may be
    /// another one after a look, once a lost connection was made again.
    virtual int PushSocket() { return -1; }
    /// Takes what was pushed, without waiting: true when news of a change
    /// came, and the front end should look now. Asked after a look too: news
    /// that came during the look is answered here and does not wake the
    /// descriptor.
    virtual bool TakePushed() { return false; }
};

/// The watcher of a board in a folder. An idle look costs one call for the
/// shutdown marker, three for the users dataset and three for the messages
/// dataset (their ages read through a descriptor of their own, so a share's
/// attribute cache cannot hide a colleague's write for a minute), and one
/// each for Kiv.cfg and the department catalogue (a plain age: a change
/// there is rare and may wait for the share's attribute cache).
std::unique_ptr<IChangeWatcher> MakeFolderChangeWatcher(const std::string &folder);
