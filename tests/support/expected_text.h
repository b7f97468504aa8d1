// The texts that scenarios expect, written out here on their own so that a changed catalogue
// shows. "<pf>" and "<sys>" stand for the program folder and the system folder.
#ifndef DLLINSTALL_E2E_EXPECTED_TEXT_H
#define DLLINSTALL_E2E_EXPECTED_TEXT_H

#include <algorithm>
#include <string>
#include <vector>

namespace e2e::expected {

inline const std::string kStart = "Starting installation procedure...";
inline const std::string kDone = "Installation is successfully complited.";
inline const std::string kCopying = "Copying required DLLs to the system folder...";
inline const std::string kNoSystemFolder = "Error: Cannot get system folder.";
inline const std::string kNoTargetPath = "Error: Cannot get installation target path.";
inline const std::string kNoLibraryFolder = "Error: The '<pf>LIB'\r\nsource folder isn't exist.";

// The source is relative to the program folder, in Windows form ("LIB\\a.dll").
inline std::string Copied(const std::string& source, const std::string& name) {
    return "Copy from '<pf>" + source + "'\r\nto '<sys>\\" + name + "'";
}

inline std::string CopyFailed(const std::string& source, const std::string& name) {
    return "Error: Cannot copy from\r\n'<pf>" + source + "'\r\nto the\r\n'<sys>\\" + name + "'";
}

inline std::string LogOf(const std::vector<std::string>& messages) {
    std::string log;
    for (const std::string& message : messages)
        log += message + "\r\n";
    return log;
}

// The console of a run without a primary library that copies these names from LIB, in the
// order NTFS lists them: by their upper-case forms, so that "ma" < "MB" < "m_" there while
// bytes say "MB" < "m_" < "ma".
inline std::vector<std::string> ConsoleCopyingInNtfsOrder(std::vector<std::string> names) {
    const auto upper = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), ::toupper);
        return text;
    };
    std::stable_sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return upper(a) < upper(b);
    });
    std::vector<std::string> messages = {kStart, kCopying};
    for (const std::string& name : names)
        messages.push_back(Copied("LIB\\" + name, name));
    messages.push_back(kDone);
    return messages;
}

// A log file left by an earlier run.
inline const std::string kOlderLog = "Starting installation procedure...\r\nan older run\r\n";

// Why a scenario runs on the Linux build only.
inline const std::string kRootReadOnly = "read-only is enforced by our layer even for root, "
                                         "while Wine 8 running as root writes over it";
inline const std::string kLinks = "symbolic links: Wine 8 deletes through a link to a file and "
                                  "removes the target of a link to a folder";

} // namespace e2e::expected

#endif
