#include "version/version_resource.h"
#include "version/pe_image.h"
#include "version/resource_directory.h"
#include "version/version_tree.h"

#include <algorithm>

namespace posix {

DWORD ReadVersionResource(const ImageSource& source, std::vector<BYTE>& tree) {
    PeImage image;
    RvaRange data;
    if (DWORD error = image.Open(source))
        return error;
    if (DWORD error = FindVersionData(source, image, data))
        return error;
    const auto wanted = static_cast<uint32_t>(std::min<size_t>(data.size, kMaxVersionTreeLength));
    if (DWORD error = image.ReadRva(source, data.rva, wanted, tree))
        return error;
    return ValidateVersionTree(ByteView(tree.data(), tree.size()));
}

} // namespace posix
