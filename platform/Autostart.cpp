#include "platform/Autostart.h"

#include "platform/AtomicFile.h"
#include "platform/KivError.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

/// A value of a desktop entry: the backslash and control characters escaped.
std::string EscapeValue(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
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
            out += c;
        }
    }
    return out;
}

/// The program path as one quoted argument of an Exec line; '%' introduces a
/// field code there, and inside quotes ", `, $ and \ need a backslash.
std::string QuoteExecArgument(const std::string &path)
{
    std::string out = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        if (c == '%')
            out += '%';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string AutostartEntryPath()
{
    const std::string folder = AutostartFolder();
    return folder.empty() ? std::string() : folder + "/" + kAutostartFileName;
}

std::string AutostartEntryText(const std::string &programPath, const std::string &iconPath)
{
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n"
                       "Name=Kiv\n"
                       // The menu entry's comment: one that repeats the name
                       // is a fault to the desktop's validator.
                       "Comment=See who in the office is available, out or busy, and send colleagues short messages\n";
    // Once the program is removed (the package uninstalled), the session
    // skips the entry left in the user's folder instead of failing to run it.
    text += "TryExec=" + EscapeValue(programPath) + "\n";
    text += "Exec=" + EscapeValue(QuoteExecArgument(programPath)) + "\n";
    if (!iconPath.empty())
        text += "Icon=" + EscapeValue(iconPath) + "\n";
    text += "Terminal=false\n"
            "X-GNOME-Autostart-enabled=true\n";
    return text;
}

void CreateAutostartEntry(const std::string &programPath, const std::string &iconPath)
{
    // A line break in the path would end the Exec line early; no program of
    // ours lives at such a path, so it is refused rather than mangled.
    if (programPath.empty() || programPath[0] != '/' || HasControl(programPath) || HasControl(iconPath))
        throw EKivError("Kiv cannot start automatically from the program path " + programPath);
    const std::string path = AutostartEntryPath();
    if (path.empty() || !MakeFolders(AutostartFolder()))
        throw EKivError("Unable to create the autostart folder " + AutostartFolder());
    std::string error;
    if (!WriteFileAtomically(path, AutostartEntryText(programPath, iconPath), 0644, &error))
        throw EKivError("Unable to create the autostart entry: " + error);
}
