// The steps that scenarios set up their folders with.
#include "scenario.h"

#include "runner.h"

#include "test_support.h"

#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace e2e {

namespace {

fs::path PlaceOf(const std::string& path, const Layout& layout) {
    for (const auto& [mark, folder] :
         {std::pair<std::string, fs::path>{"<sys>/", layout.systemFolder},
          {"<out>/", layout.outsideFolder}})
        if (path.rfind(mark, 0) == 0)
            return folder / path.substr(mark.size());
    return layout.programFolder / path;
}

} // namespace

std::function<void(const Layout&)> Given(const Tree& entries) {
    return [entries](const Layout& layout) {
        for (const auto& [path, label] : entries) {
            const fs::path place = PlaceOf(path, layout);
            if (label == kFolder)
                PutFolder(place);
            else if (label.rfind("text:", 0) == 0)
                PutText(place, label.substr(5));
            else if (label.rfind("-> ", 0) == 0)
                PutLink(place, FillIn(label.substr(3), layout));
            else
                PutFixture(place, label);
        }
    };
}

void PutFixture(const fs::path& file, const std::string& fixture) {
    testing_support::WriteBytes(file, FixtureBytes(fixture));
}

void PutText(const fs::path& file, const std::string& text) {
    testing_support::WriteBytes(file, text);
}

void PutFolder(const fs::path& folder) {
    fs::create_directories(folder);
}

void PutLink(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

void MakeReadOnly(const fs::path& file) {
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

void SetMode(const fs::path& file, fs::perms mode) {
    fs::permissions(file, mode, fs::perm_options::replace);
}

void PutFifo(const fs::path& file) {
    fs::create_directories(file.parent_path());
    if (mkfifo(file.c_str(), 0644) != 0)
        throw std::runtime_error("mkfifo failed: " + file.string());
}

// A socket file stays when its socket is closed, as one a crashed server leaves.
void PutSocket(const fs::path& file) {
    fs::create_directories(file.parent_path());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (file.string().size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + file.string());
    strncpy(address.sun_path, file.c_str(), sizeof address.sun_path - 1);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        sock >= 0 && bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (sock >= 0)
        close(sock);
    if (!bound)
        throw std::runtime_error("cannot make the socket " + file.string());
}

void GiveToAnotherUser(const fs::path& path) {
    if (chown(path.c_str(), 65534, static_cast<gid_t>(-1)) != 0)
        throw std::runtime_error("cannot give " + path.string() + " to another user");
}

} // namespace e2e
