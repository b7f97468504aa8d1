#include "view/thirty_two_bit_view.h"
#include "common/regular_file.h"
#include "common/unique_fd.h"
#include "paths/system_view.h"
#include "version/image_source.h"
#include "version/pe_image.h"

#include <sys/stat.h>

namespace posix {

namespace {

// The machine of a host file from its PE headers; 0 for what is no readable regular PE file.
uint16_t MachineOf(const std::string& hostPath) {
    UniqueFd fd;
    struct stat st {};
    uint16_t machine = 0;
    if (!OpenRegularHostFile(hostPath, st, fd))
        return 0;
    const FileImageSource source(fd.get(), static_cast<uint64_t>(st.st_size));
    return ReadImageMachine(source, machine) == ERROR_SUCCESS ? machine : 0;
}

} // namespace

void InstallThirtyTwoBitView() {
    SetMachineReader(MachineOf);
}

} // namespace posix
