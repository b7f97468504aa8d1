// The resource directory of a PE image, walked down to the version resource.
#ifndef DLLINSTALL_POSIX_RESOURCE_DIRECTORY_H
#define DLLINSTALL_POSIX_RESOURCE_DIRECTORY_H

#include "version/image_source.h"
#include "version/pe_image.h"

namespace posix {

// Finds the data of the version resource that Windows reads, walking only the entries on the
// way to it, ids compared by their 16 bits as the loader compares them: type RT_VERSION, id
// VS_VERSION_INFO (1), in the language a neutral request gets (neutral, English (US), English,
// else the first listed). ERROR_RESOURCE_TYPE_NOT_FOUND, _NAME_NOT_FOUND or _LANG_NOT_FOUND when a
// level has no such entry, as Windows reports them; ERROR_BAD_FORMAT for a broken directory.
DWORD FindVersionData(const ImageSource& source, const PeImage& image, RvaRange& data);

} // namespace posix

#endif
