#include "wine_version_deviations.h"

namespace differential {

namespace {

bool Carries(const std::set<std::string>& shapes, const char* shape) {
    return shapes.count(shape) != 0;
}

// What Wine shows of a text the Linux build printed in UTF-8, bytes escaped as \xNN: each
// character outside ASCII as "?".
std::string AsCodePage1252Shows(const std::string& escaped) {
    std::string shown;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped.compare(i, 2, "\\x") != 0 || i + 4 > escaped.size()) {
            shown += escaped[i];
            continue;
        }
        const unsigned long byte = std::stoul(escaped.substr(i + 2, 2), nullptr, 16);
        if (byte < 0x80 || byte >= 0xC0)
            shown += byte < 0x80 ? escaped.substr(i, 4) : "?";
        i += 3;
    }
    return shown;
}

// True when the texts agree but for the characters outside ASCII, which the Linux build may
// cut off sooner, in UTF-8, where the root's length cuts a text off.
bool SameUpToCodePage(const std::string& onLinux, const std::string& underWine) {
    const std::string shown = AsCodePage1252Shows(onLinux);
    if (shown == underWine)
        return true;
    const size_t firstOther = shown.find('?');
    return firstOther != std::string::npos && underWine.size() > shown.size() &&
           underWine.compare(0, shown.size(), shown) == 0;
}

} // namespace

const std::vector<WineDeviation>& WineVersionDeviations() {
    static const std::vector<WineDeviation> deviations = {
        {"file_bytes_past_raw_data",
         "Wine 8 maps a section's file data rounded up to the file alignment and so shows the "
         "bytes the file holds past SizeOfRawData; Windows' loader maps zeroes past it, and the "
         "layer reads the image as Windows maps it",
         [](const std::set<std::string>& shapes, const Reading&) {
             return Carries(shapes, "data_cut_by_the_zero_fill");
         }},
        {"fault_on_offsets_past_the_image",
         "Wine 8's resource lookup and GetFileVersionInfoExW read where an entry on the path "
         "or the data entry's size points, and fault when that lies past the mapped image (as "
         "on an RVA of 0xFFFFFFFF); Windows' lookup fails there, and the layer reads such a "
         "resource as malformed: no version",
         [](const std::set<std::string>& shapes, const Reading& reading) {
             return (Carries(shapes, "data_size_past_the_section") ||
                     Carries(shapes, "malformed_unrelated_entry") ||
                     Carries(shapes, "data_running_into_the_zero_fill") ||
                     Carries(shapes, "data_cut_by_the_zero_fill") ||
                     Carries(shapes, "seed: language leads outside the directory") ||
                     Carries(shapes, "seed: resource data outside every section") ||
                     Carries(shapes, "seed: resource_offset_outside")) &&
                    reading.underWine == "fault" && reading.onLinux == "no version";
         }},
        {"resource_size_wrapping_in_32_bits",
         "Wine 8's GetFileVersionInfoSizeA gives twice the resource's stated size plus 4 in 32 "
         "bits, so a stated size of 2 GiB or more wraps to a small block that Wine fills and "
         "reads; the data entry states data that runs past the image, which Windows' loader "
         "does not hand out, and the layer reads no version",
         [](const std::set<std::string>& shapes, const Reading& reading) {
             return Carries(shapes, "data_size_past_the_section") &&
                    reading.onLinux == "no version";
         }},
        {"value_past_the_node_length",
         "Wine 8 reads the value of a node whose wLength (0, or less than a node header) ends "
         "before the value starts; Windows takes such a value as empty, as later Wine does, "
         "and the layer reads no version",
         [](const std::set<std::string>& shapes, const Reading& reading) {
             return (Carries(shapes, "seed: ProductVersion shorter than a node header") ||
                     Carries(shapes, "seed: ProductVersion wLength 0 ends the table")) &&
                    reading.onLinux == "no version";
         }},
        {"ansi_code_page",
         "not a reader's difference: Wine's ANSI code page under C.UTF-8 is 1252, the layer's "
         "UTF-8, so a character outside ASCII in a version's text prints as \"?\" under Wine, "
         "and a text cut off at the root's length keeps fewer characters in UTF-8",
         [](const std::set<std::string>&, const Reading& reading) {
             return SameUpToCodePage(reading.onLinux, reading.underWine);
         }},
    };
    return deviations;
}

const WineDeviation* ExplainingDeviation(const std::set<std::string>& shapes,
                                         const Reading& reading) {
    for (const WineDeviation& deviation : WineVersionDeviations())
        if (deviation.explains(shapes, reading))
            return &deviation;
    return nullptr;
}

} // namespace differential
