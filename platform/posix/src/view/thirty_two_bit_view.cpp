#include "view/thirty_two_bit_view.h"
#include "paths/system_view.h"
#include "version/image_source.h"
#include "version/pe_image.h"

namespace posix {

namespace {

// The machine of an open file from its PE headers; 0 for what is no readable PE file.
uint16_t MachineOf(int fd, uint64_t size) {
    uint16_t machine = 0;
    const FileImageSource source(fd, size);
    return ReadImageMachine(source, machine) == ERROR_SUCCESS ? machine : 0;
}

} // namespace

void InstallThirtyTwoBitView() {
    SetMachineReader(MachineOf);
}

} // namespace posix
