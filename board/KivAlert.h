// TKivAlert: the signed-in user's private list of watched colleagues, kept in
// a small text file on the workstation.
//
// The list is a run of strings, three to an entry: the colleague's login
// name, the name shown for them and the status last seen on the board. Each
// refill of the board is compared with the list; every watched colleague
// whose status has changed gives one line of the notification. Entries keep
// the order they were added in. A trailing group of one or two strings (only
// a hand-edited file has one) is never visited, but it is kept and saved back.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class IBoardList;
class IClock;
class IItemList;

/// The alert file of login on this workstation: the alert folder, the login
/// upper-cased (a to z only) in the form the users dataset stores it, and
/// ".Kiv". Empty when the workstation has no
/// alert folder (no home folder is known).
std::string AlertFilePath(const std::string &login);

class TKivAlert {
public:
    /// The notification lines of the last CheckAlertList, one per changed
    /// colleague, each ended by a carriage return; empty when none changed.
    std::string ChangeText;

    /// Appends an entry; logInName is kept as given. Raises when logInName is
    /// blank. Duplicates are not looked for: callers ask InAlertList first.
    void AddToAlertList(const std::string &logInName, const std::string &displayName, const std::string &status);
    /// True when an entry's login name equals login, letter case aside.
    bool InAlertList(const std::string &login) const;
    /// The position (3k) of the first entry whose login name equals login,
    /// letter case aside; -1 when there is none.
    int IndexOfLogIn(const std::string &login) const;
    /// The display name of the entry at position (3k); raises for a position
    /// that is no entry's.
    std::string GetDisplayName(int position) const;
    /// Replaces the display name of login's entry; raises when there is none.
    void SetDisplayName(const std::string &login, const std::string &displayName);
    /// Compares every entry with the board's rows of its login, fills
    /// ChangeText with a line per changed status and takes the new status as
    /// the one last seen.
    void CheckAlertList(const IBoardList &board);
    /// The box text for the last check's changes: "Status update from Kiv at ",
    /// the now text of clock, an empty line and ChangeText.
    std::string NotificationText(const IClock &clock) const;
    /// Removes every entry.
    void ClearAlertList();
    /// Appends one item per entry to list, its display name with the entry's
    /// position (3k) attached; the list is not cleared first.
    void FillListBox(IItemList &list) const;
    /// Replaces the list with the lines of the file at path. False, with the
    /// list unchanged, when there is no such file (the user's first start on
    /// this workstation); raises when the file is there but cannot be read,
    /// and when a link or anything but a regular file is in its place.
    bool LoadFromFile(const std::string &path);
    /// Writes the list to path, one line per string ended by CR LF, replacing
    /// the file in one step: a failed save leaves the previous file whole,
    /// and a link in its place is replaced, never written through. Raises
    /// when the file cannot be written.
    void SaveToFile(const std::string &path) const;

    /// The number of entries (the strings divided by three, any rest aside).
    std::size_t Count() const { return FStrings.size() / 3; }
    /// Every string of the list, in order, a trailing rest included.
    const std::vector<std::string> &Strings() const { return FStrings; }

private:
    std::vector<std::string> FStrings;
};
