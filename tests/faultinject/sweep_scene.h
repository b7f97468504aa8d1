// The installation the fault sweep runs again and again: a product with a dozen DLLs of many
// sizes in LIB, and a prefix that already holds some of them, a few in newer versions.
#ifndef DLLINSTALL_SWEEP_SCENE_H
#define DLLINSTALL_SWEEP_SCENE_H

#include "installation.h"

#include <string>
#include <vector>

namespace faultinject {

// Where the sweep makes its folders: on tmpfs (/dev/shm) where there is one, since the sweep
// rewrites a few megabytes thousands of times; DLLINSTALL_SWEEP_DIR chooses another place.
fs::path ScratchBase();

class SweepScene {
  public:
    // Builds the pristine copy under root/pristine, with the tool given or the Linux build; not
    // ready when a fixture DLL is missing.
    explicit SweepScene(const fs::path& root, const fs::path& tool = {});
    bool ready() const { return ready_; }

    // Replaces the working copy with a fresh one from the pristine copy.
    void Refresh() const;

    const fs::path& program() const { return program_; }
    const fs::path& prefix() const { return prefix_; }
    fs::path system() const { return SystemFolderOf(prefix_); }
    fs::path pristineSystem() const { return SystemFolderOf(pristine_ / "prefix"); }
    fs::path pristineProgram() const { return pristine_ / "program"; }

    // The DLLs directly in LIB, which the tool installs.
    const std::vector<std::string>& libraries() const { return libraries_; }
    // Those of them that are older than the copy the prefix holds.
    const std::vector<std::string>& keptInstalled() const { return keptInstalled_; }

  private:
    bool Build();

    fs::path tool_;
    fs::path pristine_;
    fs::path work_;
    fs::path program_;
    fs::path prefix_;
    std::vector<std::string> libraries_;
    std::vector<std::string> keptInstalled_;
    bool ready_ = false;
};

} // namespace faultinject

#endif
