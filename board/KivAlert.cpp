#include "board/KivAlert.h"

#include "board/KivText.h"
#include "board/Seams.h"
#include "board/UserRecord.h"
#include "platform/AtomicFile.h"
#include "platform/KivError.h"
#include "platform/LoginName.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// A list of a few hundred colleagues is a few kilobytes; a file far beyond
// this is no alert list, and reading it whole would only stall the start.
constexpr std::size_t kLargestFile = 4 * 1024 * 1024;

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameTextAnyCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

/// The lines of text: split at CR LF, a lone CR and a lone LF; a last line
/// without a break counts, and a zero byte ends the text.
std::vector<std::string> SplitLines(const std::string &bytes)
{
    const std::size_t end = std::min(bytes.find('\0'), bytes.size());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < end) {
        std::size_t stop = start;
        while (stop < end && bytes[stop] != '\r' && bytes[stop] != '\n')
            ++stop;
        lines.push_back(bytes.substr(start, stop - start));
        if (stop < end && bytes[stop] == '\r' && stop + 1 < end && bytes[stop + 1] == '\n')
            ++stop;
        start = stop + 1;
    }
    return lines;
}

/// A string as one line of the file: a line break or a zero byte inside it
/// would split it or end the file on reading, and shift every entry after it,
/// so each becomes a blank.
std::string AsLine(const std::string &text)
{
    std::string line = text;
    for (char &c : line)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return line;
}

} // namespace

std::string AlertFilePath(const std::string &login)
{
    const std::string folder = AlertFolder();
    if (folder.empty())
        return std::string();
    return folder + "/" + UserRecord::LoginKey(UpperCaseLogin(login)) + ".Kiv";
}

void TKivAlert::AddToAlertList(const std::string &logInName, const std::string &displayName, const std::string &status)
{
    if (IsBlankText(logInName))
        throw EKivError("LogInName must have a value");
    FStrings.push_back(logInName);
    FStrings.push_back(displayName);
    FStrings.push_back(status);
}

bool TKivAlert::InAlertList(const std::string &login) const
{
    return IndexOfLogIn(login) >= 0;
}

int TKivAlert::IndexOfLogIn(const std::string &login) const
{
    for (std::size_t k = 0; k < Count(); ++k)
        if (SameTextAnyCase(FStrings[3 * k], login))
            return int(3 * k);
    return -1;
}

std::string TKivAlert::GetDisplayName(int position) const
{
    if (position < 0 || position % 3 != 0 || std::size_t(position) / 3 >= Count())
        throw EKivError("List index out of bounds (" + std::to_string(position) + ")");
    return FStrings[std::size_t(position) + 1];
}

void TKivAlert::SetDisplayName(const std::string &login, const std::string &displayName)
{
    const int position = IndexOfLogIn(login);
    if (position < 0)
        throw EKivError("Unable to find the user " + login);
    FStrings[std::size_t(position) + 1] = displayName;
}

void TKivAlert::CheckAlertList(const IBoardList &board)
{
    ChangeText.clear();
    std::vector<TBoardRow> rows;
    const int rowCount = board.RowCount();
    rows.reserve(std::size_t(rowCount > 0 ? rowCount : 0));
    for (int i = 0; i < rowCount; ++i)
        rows.push_back(board.Row(i));

    for (std::size_t k = 0; k < Count(); ++k) {
        const std::string &login = FStrings[3 * k];
        const std::string &name = FStrings[3 * k + 1];
        std::string &lastSeen = FStrings[3 * k + 2];
        // Every row is looked at: should a login be listed twice, the second
        // row is compared with what the first left as last seen.
        for (const TBoardRow &row : rows) {
            if (row.SubItems[TBoardRow::Login] != login)
                continue;
            const std::string &status = row.SubItems[TBoardRow::Status];
            if (SameTextAnyCase(lastSeen, status))
                continue;
            // The stored texts are isolated, so that none of them reorders
            // the sentence around it.
            ChangeText += Isolated(name) + " has changed status from \"" + Isolated(lastSeen) + "\" to \""
                          + Isolated(status) + "\"\r";
            lastSeen = status;
        }
    }
}

std::string TKivAlert::NotificationText(const IClock &clock) const
{
    return "Status update from Kiv at " + NowText(clock) + "\r\r" + ChangeText;
}

void TKivAlert::ClearAlertList()
{
    FStrings.clear();
}

void TKivAlert::FillListBox(IItemList &list) const
{
    for (std::size_t k = 0; k < Count(); ++k)
        list.AddItem(FStrings[3 * k + 1], int32_t(3 * k));
}

bool TKivAlert::LoadFromFile(const std::string &path)
{
    std::string bytes;
    bool truncated = false;
    // Only a regular file is read: no link is followed and no FIFO waited on.
    if (!ReadFilePrefix(path, kLargestFile, bytes, truncated, TLinks::Refuse)) {
        const int code = errno;
        if (code == ENOENT)
            return false;
        throw EKivError("Unable to read the alert list " + path + "\r\r" + OpenErrorText(code));
    }
    if (truncated)
        throw EKivError("Unable to read the alert list " + path + "\r\rThe file is too large to be an alert list");
    FStrings = SplitLines(bytes);
    return true;
}

void TKivAlert::SaveToFile(const std::string &path) const
{
    if (path.empty())
        throw EKivError("Unable to save the alert list\r\rNo folder is known for the alert file");
    std::string bytes;
    for (const std::string &text : FStrings)
        bytes += AsLine(text) + "\r\n";
    std::string error;
    // A link in the file's place is replaced, and nothing is written through it.
    if (!WriteFileAtomically(path, bytes, 0600, &error, TLinks::Refuse))
        throw EKivError("Unable to save the alert list\r\r" + error);
}
