#include "platform/SettingsStore.h"

#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A settings file is a few kilobytes; anything past this is not one of ours.
constexpr std::size_t kMaxFileBytes = 1u << 20;
constexpr mode_t kFileMode = 0600;

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

/// Length of the well-formed UTF-8 character at the start of s, or 0.
std::size_t Utf8Length(std::string_view s)
{
    char32_t code = 0;
    return DecodeUtf8(s, 0, code);
}

bool IsValidUtf8(std::string_view s)
{
    while (!s.empty()) {
        const std::size_t len = Utf8Length(s);
        if (len == 0)
            return false;
        s.remove_prefix(len);
    }
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// Reads a quoted text (quotes included) with nothing after it; false when malformed.
bool ParseQuoted(std::string_view s, std::string &out)
{
    if (s.size() < 2 || s.front() != '"')
        return false;
    out.clear();
    std::size_t i = 1;
    for (;;) {
        if (i >= s.size())
            return false; // no closing quote
        const char c = s[i];
        if (c == '"')
            break;
        if (c == '\\') {
            if (i + 1 >= s.size())
                return false;
            const char e = s[i + 1];
            i += 2;
            switch (e) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (i + 2 > s.size())
                    return false;
                const int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
                if (hi < 0 || lo < 0)
                    return false;
                out += char(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                return false;
            }
            continue;
        }
        if (IsControl(c) && c != '\t')
            return false;
        out += c;
        ++i;
    }
    return Trim(s.substr(i + 1)).empty();
}

bool ParseInteger(std::string_view s, int32_t &out)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

/// Reads one line into value; false when the line cannot be read.
bool ParseLine(std::string_view line, TStoredValue &value)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return false;
    value.Name = std::string(Trim(line.substr(0, equals)));
    if (!IsValidValueName(value.Name))
        return false;
    const std::string_view rest = Trim(line.substr(equals + 1));
    if (!rest.empty() && rest.front() == '"') {
        value.Kind = TValueKind::Text;
        return ParseQuoted(rest, value.Text);
    }
    value.Kind = TValueKind::Integer;
    return ParseInteger(rest, value.Integer);
}

void AppendQuoted(std::string &out, std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    out += '"';
    while (!text.empty()) {
        const char c = text.front();
        std::size_t len = 1;
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            len = Utf8Length(text);
            if (len == 0 || IsControl(c)) {
                // Bytes that are not text are spelled out, so the file stays valid UTF-8.
                const auto b = static_cast<unsigned char>(c);
                out += "\\x";
                out += kHex[b >> 4];
                out += kHex[b & 15];
                len = 1;
            } else {
                out.append(text.substr(0, len));
            }
        }
        text.remove_prefix(len);
    }
    out += '"';
}

/// Sets value in values, replacing a value of the same name (keeping its spelling).
void Put(std::vector<TStoredValue> &values, const TStoredValue &value)
{
    for (TStoredValue &v : values) {
        if (SameName(v.Name, value.Name)) {
            const std::string name = std::move(v.Name);
            v = value;
            v.Name = name;
            return;
        }
    }
    values.push_back(value);
}

const TStoredValue *Find(const std::vector<TStoredValue> &values, std::string_view name)
{
    for (const TStoredValue &v : values)
        if (SameName(v.Name, name))
            return &v;
    return nullptr;
}

/// The entry of folder named name, or one whose name differs only in letter case.
std::string MatchEntry(const std::string &folder, const std::string &name)
{
    struct stat st {};
    if (lstat((folder + "/" + name).c_str(), &st) == 0)
        return name;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr)
        return name;
    std::string found = name;
    while (const dirent *entry = readdir(dir)) {
        if (SameName(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::string ErrnoText(int code)
{
    return OpenErrorText(code);
}

/// An exclusive lock on the file beside a settings file, held while it lives.
/// Saving sessions of every process of the user take it, one after another.
class TSaveLock {
public:
    explicit TSaveLock(const std::string &path) : FFd(OpenRegularFile(path, O_RDWR | O_CREAT, kFileMode))
    {
        if (FFd < 0)
            return;
        while (flock(FFd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int code = errno;
                close(FFd);
                FFd = -1;
                errno = code;
                return;
            }
        }
    }
    ~TSaveLock()
    {
        if (FFd >= 0)
            close(FFd); // closing drops the lock
    }
    TSaveLock(const TSaveLock &) = delete;
    TSaveLock &operator=(const TSaveLock &) = delete;
    bool Held() const { return FFd >= 0; }

private:
    int FFd;
};

std::string NameOf(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

/// Removes what writers killed in the middle of a save left beside the file
/// at path: the temporary files of the file and of its backup. Called under
/// the save lock, when no other save can be writing one.
void RemoveLeftovers(const std::string &path)
{
    const std::string folder = FolderOf(path);
    const std::string prefix = "." + NameOf(path) + ".";
    const std::string backupPrefix = prefix + "damaged.";
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> leftovers;
    while (const dirent *entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        // Temporary names end in six random characters after the file's name.
        const bool temp = name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix;
        const bool backupTemp =
            name.size() == backupPrefix.size() + 6 && name.substr(0, backupPrefix.size()) == backupPrefix;
        if (temp || backupTemp)
            leftovers.emplace_back(name);
    }
    closedir(dir);
    for (const std::string &name : leftovers)
        unlink((folder + "/" + name).c_str());
}

/// Reads and parses the file at path; false, with errno kept, when it cannot be read.
/// A file longer than any settings file is read up to its last whole line and is damaged.
bool ReadStoreFile(const std::string &path, TStoreContent &content)
{
    std::string bytes;
    bool truncated = false;
    // A link is followed: settings files are often kept elsewhere and linked.
    if (!ReadFilePrefix(path, kMaxFileBytes, bytes, truncated, TLinks::Follow))
        return false;
    if (truncated) {
        const std::size_t lastBreak = bytes.rfind('\n');
        bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    }
    content = ParseStoreText(bytes);
    content.Damaged = content.Damaged || truncated;
    return true;
}

} // namespace

bool IsValidValueName(std::string_view name)
{
    if (name.empty() || Trim(name).size() != name.size() || name.find('=') != std::string_view::npos)
        return false;
    for (char c : name)
        if (IsControl(c))
            return false;
    return IsValidUtf8(name);
}

TStoreContent ParseStoreText(std::string_view text)
{
    TStoreContent content;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';')
            continue;
        TStoredValue value;
        if (line.find('\0') != std::string_view::npos || !IsValidUtf8(line) || !ParseLine(trimmed, value)) {
            content.Damaged = true;
            continue;
        }
        // A name given twice (a hand edit): the later line holds.
        Put(content.Values, value);
    }
    return content;
}

std::string FormatStoreText(const std::vector<TStoredValue> &values, std::string_view keyPath)
{
    std::string out = "# Kiv settings: the values of the key ";
    out.append(keyPath);
    out += "\n# Name = number for a 32-bit integer, Name = \"text\" for a text.\n";
    for (const TStoredValue &v : values) {
        if (v.Kind == TValueKind::Missing)
            continue;
        out += v.Name;
        out += " = ";
        if (v.Kind == TValueKind::Integer)
            out += std::to_string(v.Integer);
        else
            AppendQuoted(out, v.Text);
        out += '\n';
    }
    return out;
}

std::string TSettingsStore::FileForKey(std::string_view keyPath, const std::string &configFolder)
{
    std::vector<std::string> parts;
    while (!keyPath.empty()) {
        const std::size_t sep = keyPath.find('\\');
        const std::string_view part = keyPath.substr(0, sep);
        keyPath.remove_prefix(sep == std::string_view::npos ? keyPath.size() : sep + 1);
        if (part.empty())
            continue;
        if (part == "." || part == ".." || part.find('/') != std::string_view::npos
            || part.find('\0') != std::string_view::npos)
            return {};
        parts.emplace_back(part);
    }
    // The configuration folder is the user's "Software" branch.
    if (!parts.empty() && SameName(parts.front(), "Software"))
        parts.erase(parts.begin());
    if (parts.empty() || configFolder.empty())
        return {};
    std::string path = configFolder;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
        path += "/" + MatchEntry(path, parts[i]);
    return path + "/" + MatchEntry(path, parts.back() + ".conf");
}

bool TSettingsStore::Fail(std::string message)
{
    FError = std::move(message);
    return false;
}

bool TSettingsStore::Open(std::string_view keyPath, bool create)
{
    Close();
    FError.clear();
    const std::string path = FileForKey(keyPath, ConfigFolder());
    if (path.empty())
        return Fail("No settings file can be found for the key " + std::string(keyPath));
    const std::string folder = FolderOf(path);

    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return Fail("Unable to reach the settings file " + path + ": " + ErrnoText(errno));
        if (!create)
            return Fail("The settings file " + path + " does not exist");
        if (!MakeFolders(folder))
            return Fail("Unable to create the settings folder " + folder);
        // Another process may create it at the same moment; either one's empty file will do.
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
        if (fd < 0 && errno != EEXIST)
            return Fail("Unable to create the settings file " + path + ": " + ErrnoText(errno));
        if (fd >= 0)
            close(fd);
        if (stat(path.c_str(), &st) != 0)
            return Fail("Unable to reach the settings file " + path + ": " + ErrnoText(errno));
    }
    if (!S_ISREG(st.st_mode))
        return Fail("The settings file " + path + " is not a file");
    // Saving replaces the file by renaming, which needs a writable folder.
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return Fail("Unable to write in the settings folder " + folder + ": " + ErrnoText(errno));

    TStoreContent content;
    if (!ReadStoreFile(path, content))
        return Fail("Unable to read the settings file " + path + ": " + ErrnoText(errno));

    FKeyPath = std::string(keyPath);
    FPath = path;
    FValues = std::move(content.Values);
    FDamaged = content.Damaged;
    FOpen = true;
    return true;
}

TValueKind TSettingsStore::Kind(std::string_view name) const
{
    const TStoredValue *v = Find(FValues, name);
    return v == nullptr ? TValueKind::Missing : v->Kind;
}

bool TSettingsStore::ReadInteger(std::string_view name, int32_t &value) const
{
    const TStoredValue *v = Find(FValues, name);
    if (v == nullptr || v->Kind != TValueKind::Integer)
        return false;
    value = v->Integer;
    return true;
}

bool TSettingsStore::ReadText(std::string_view name, std::string &value) const
{
    const TStoredValue *v = Find(FValues, name);
    if (v == nullptr || v->Kind != TValueKind::Text)
        return false;
    value = v->Text;
    return true;
}

bool TSettingsStore::Write(TStoredValue value)
{
    if (!FOpen)
        return Fail("No settings key is open");
    if (!IsValidValueName(value.Name))
        return Fail("The name \"" + value.Name + "\" cannot be stored");
    Put(FValues, value);
    Put(FPending, value);
    return true;
}

bool TSettingsStore::WriteInteger(std::string_view name, int32_t value)
{
    TStoredValue v;
    v.Name = std::string(name);
    v.Kind = TValueKind::Integer;
    v.Integer = value;
    return Write(std::move(v));
}

bool TSettingsStore::WriteText(std::string_view name, std::string_view value)
{
    TStoredValue v;
    v.Name = std::string(name);
    v.Kind = TValueKind::Text;
    v.Text = std::string(value);
    return Write(std::move(v));
}

bool TSettingsStore::Save()
{
    if (!FOpen)
        return Fail("No settings key is open");
    if (FPending.empty())
        return true;

    const std::string folder = FolderOf(FPath);
    TSaveLock lock(folder + "/." + NameOf(FPath) + ".lock");
    if (!lock.Held())
        return Fail("Unable to lock the settings file " + FPath + ": " + ErrnoText(errno));

    RemoveLeftovers(FPath);

    // The file as it is now: another process may have saved since this session opened it.
    TStoreContent current;
    if (!ReadStoreFile(FPath, current) && errno != ENOENT)
        return Fail("Unable to read the settings file " + FPath + ": " + ErrnoText(errno));

    std::string error;
    // What could not be read is dropped by the rewrite, so the whole damaged
    // file is kept beside it first, for a person to look at.
    if (current.Damaged && !CopyFileAtomically(FPath, FPath + ".damaged", kFileMode, &error))
        return Fail("Unable to keep a copy of the damaged settings file: " + error);

    for (const TStoredValue &v : FPending)
        Put(current.Values, v);
    // A settings file that is a link is read through it, but the save puts
    // its own file in the link's place: the file the link points to may be
    // someone else's, or one the user keeps for another use.
    if (!WriteFileAtomically(FPath, FormatStoreText(current.Values, FKeyPath), kFileMode, &error, TLinks::Refuse))
        return Fail("Unable to save the settings: " + error);

    FValues = std::move(current.Values);
    FPending.clear();
    FDamaged = false;
    return true;
}

void TSettingsStore::Close()
{
    FOpen = false;
    FDamaged = false;
    FKeyPath.clear();
    FPath.clear();
    FValues.clear();
    FPending.clear();
}
