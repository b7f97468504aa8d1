#include "version/version_resource.h"
#include "version/pe_image.h"
#include "version/resource_directory.h"
#include "version/version_tree.h"

#include <algorithm>

namespace posix {

DWORD ReadVersionResource(const ImageSource& source, std::vector<BYTE>& tree) {
    PeImage image;
    FileRange data;
    if (DWORD error = image.Open(source))
        return error;
    if (DWORD error = FindVersionData(source, image, data))
        return error;
    const size_t wanted = std::min<size_t>(data.size, kMaxVersionTreeLength);
    if (DWORD error = source.Read(data.offset, wanted, tree))
        return error;
    size_t length = 0;
    if (DWORD error = ValidateVersionTree(ByteView(tree.data(), tree.size()), length))
        return error;
    tree.resize(length);
    return ERROR_SUCCESS;
}

} // namespace posix
