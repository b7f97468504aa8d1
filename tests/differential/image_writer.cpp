#include "generated_image.h"

#include <algorithm>
#include <map>

namespace differential {

namespace {

constexpr uint32_t kHeaderDataStart = 0x200; // past the headers themselves
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kDirectoryBit = 0x80000000;
constexpr uint32_t kNamedBit = 0x80000000;

uint32_t AlignUp(size_t value, uint32_t alignment) {
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

void Put(std::string& out, size_t at, uint64_t value, int bytes) {
    if (out.size() < at + bytes)
        out.resize(at + bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<char>(value >> (8 * i));
}

// Where each part of the resource section goes, found before anything is written.
struct SectionLayout {
    std::vector<const std::vector<ResourceEntrySpec>*> directories;
    std::vector<uint32_t> directoryOffsets;
    std::map<const ResourceEntrySpec*, uint32_t> targets; // the offset each entry points to
    std::map<const ResourceEntrySpec*, uint32_t> names;
    std::map<const ResourceEntrySpec*, uint32_t> dataEntries; // entry -> its data entry
    std::vector<uint32_t> dataRvas;
    uint32_t end = 0;
};

void PlaceDirectories(const ResourceTreeSpec& tree, SectionLayout& layout) {
    layout.directories.push_back(&tree.types);
    uint32_t at = 0;
    for (size_t i = 0; i < layout.directories.size(); ++i) {
        layout.directoryOffsets.push_back(at);
        at += 16 + 8 * static_cast<uint32_t>(layout.directories[i]->size());
        for (const ResourceEntrySpec& entry : *layout.directories[i]) {
            if (!entry.rawTarget && entry.dataIndex < 0)
                layout.directories.push_back(&entry.children);
        }
    }
    // A subdirectory's offset is known once every table before it is placed.
    size_t next = 1;
    for (const auto* directory : layout.directories)
        for (const ResourceEntrySpec& entry : *directory)
            if (!entry.rawTarget && entry.dataIndex < 0)
                layout.targets[&entry] = kDirectoryBit | layout.directoryOffsets[next++];
    layout.end = at;
}

// The data of each entry, the data whose end the section's file data cuts placed last.
void PlaceNamesAndData(const ResourceTreeSpec& tree, int lastData, uint32_t sectionRva,
                       uint32_t& headerAt, SectionLayout& layout) {
    for (const auto* directory : layout.directories)
        for (const ResourceEntrySpec& entry : *directory)
            if (!entry.name.empty()) {
                layout.names[&entry] = layout.end;
                layout.end += AlignUp(2 + 2 * entry.name.size(), 4);
            }
    for (const auto* directory : layout.directories)
        for (const ResourceEntrySpec& entry : *directory)
            if (!entry.rawTarget && entry.dataIndex >= 0) {
                layout.targets[&entry] = layout.end;
                layout.dataEntries[&entry] = layout.end;
                layout.end += 16;
            }
    std::vector<size_t> order;
    for (size_t i = 0; i < tree.data.size(); ++i)
        if (static_cast<int>(i) != lastData)
            order.push_back(i);
    if (lastData >= 0)
        order.push_back(static_cast<size_t>(lastData));
    layout.dataRvas.resize(tree.data.size());
    for (const size_t i : order) {
        const ResourceData& data = tree.data[i];
        uint32_t& at = data.inHeaders ? headerAt : layout.end;
        at = AlignUp(at, 8);
        layout.dataRvas[i] = data.inHeaders ? at : sectionRva + at;
        at += static_cast<uint32_t>(data.bytes.size());
    }
}

// Named entries first, then the numbered ones by their 16-bit ids, as a compiler sorts them.
std::vector<const ResourceEntrySpec*> Ordered(const std::vector<ResourceEntrySpec>& entries,
                                              bool unsorted) {
    std::vector<const ResourceEntrySpec*> order;
    for (const ResourceEntrySpec& entry : entries)
        order.push_back(&entry);
    std::stable_sort(order.begin(), order.end(), [unsorted](const auto* a, const auto* b) {
        if (a->name.empty() != b->name.empty())
            return !a->name.empty();
        if (!a->name.empty() || unsorted)
            return false;
        return (a->id & 0xFFFF) < (b->id & 0xFFFF);
    });
    return order;
}

void WriteDirectories(const ResourceTreeSpec& tree, const SectionLayout& layout,
                      std::string& section) {
    for (size_t i = 0; i < layout.directories.size(); ++i) {
        const auto order = Ordered(*layout.directories[i], tree.unsorted);
        const uint32_t at = layout.directoryOffsets[i];
        const auto named = std::count_if(order.begin(), order.end(),
                                         [](const auto* e) { return !e->name.empty(); });
        Put(section, at + 12, static_cast<uint64_t>(named), 2);
        Put(section, at + 14, order.size() - static_cast<size_t>(named), 2);
        for (size_t k = 0; k < order.size(); ++k) {
            const ResourceEntrySpec& entry = *order[k];
            const uint32_t name =
                entry.name.empty() ? entry.id : kNamedBit | layout.names.at(&entry);
            const uint32_t target = entry.rawTarget ? entry.targetField : layout.targets.at(&entry);
            Put(section, at + 16 + 8 * k, name, 4);
            Put(section, at + 20 + 8 * k, target, 4);
        }
    }
}

void WriteNamesAndData(const ResourceTreeSpec& tree, const SectionLayout& layout,
                       std::string& section, std::string& headers) {
    for (const auto& [entry, at] : layout.names) {
        Put(section, at, entry->name.size(), 2);
        for (size_t i = 0; i < entry->name.size(); ++i)
            Put(section, at + 2 + 2 * i, entry->name[i], 2);
    }
    for (const auto& [entry, at] : layout.dataEntries) {
        const ResourceData& data = tree.data.at(static_cast<size_t>(entry->dataIndex));
        Put(section, at, layout.dataRvas.at(static_cast<size_t>(entry->dataIndex)), 4);
        Put(section, at + 4, data.bytes.size() + data.sizeDelta, 4);
    }
    for (size_t i = 0; i < tree.data.size(); ++i) {
        const uint32_t rva = layout.dataRvas[i];
        std::string& into = tree.data[i].inHeaders ? headers : section;
        const size_t at = tree.data[i].inHeaders ? rva : rva - kSectionAlignment;
        if (into.size() < at + tree.data[i].bytes.size())
            into.resize(at + tree.data[i].bytes.size(), '\0');
        into.replace(at, tree.data[i].bytes.size(), tree.data[i].bytes);
    }
}

void WriteHeaders(const ImageSpec& shape, uint32_t headersSize, uint32_t rawSize,
                  uint32_t virtualSize, const SectionLayout& layout, std::string& out) {
    const uint32_t pe = 0x40, optional = pe + 24;
    const uint32_t optionalSize = shape.pe32Plus ? 240 : 224;
    const uint32_t directories = optional + (shape.pe32Plus ? 112 : 96);
    Put(out, 0, 0x5A4D, 2);
    Put(out, 0x3C, pe, 4);
    Put(out, pe, 0x4550, 4);
    Put(out, pe + 4, shape.pe32Plus ? 0x8664 : 0x14C, 2);
    Put(out, pe + 6, 1, 2);
    Put(out, pe + 20, optionalSize, 2);
    Put(out, pe + 22, shape.pe32Plus ? 0x2022 : 0x2102, 2);
    Put(out, optional, shape.pe32Plus ? 0x20B : 0x10B, 2);
    Put(out, optional + (shape.pe32Plus ? 24 : 28), shape.pe32Plus ? 0x180000000 : 0x10000000,
        shape.pe32Plus ? 8 : 4);
    Put(out, optional + 32, kSectionAlignment, 4);
    Put(out, optional + 36, kFileAlignment, 4);
    Put(out, optional + 40, 6, 2); // the OS and subsystem versions Windows Vista on
    Put(out, optional + 48, 6, 2);
    Put(out, optional + 56, kSectionAlignment + AlignUp(virtualSize, kSectionAlignment), 4);
    Put(out, optional + 60, headersSize, 4);
    Put(out, optional + 68, 2, 2);
    Put(out, directories - 4, 16, 4);
    Put(out, directories + 16, kSectionAlignment, 4);
    Put(out, directories + 20, layout.end, 4);
    const uint32_t section = optional + optionalSize;
    out.replace(section, 5, ".rsrc");
    Put(out, section + 8, virtualSize, 4);
    Put(out, section + 12, kSectionAlignment, 4);
    Put(out, section + 16, rawSize, 4);
    Put(out, section + 20, headersSize, 4);
    Put(out, section + 36, 0x40000040, 4); // initialised data, readable
}

} // namespace

std::string WriteImage(const ImageSpec& shape) {
    SectionLayout layout;
    uint32_t headerAt = kHeaderDataStart;
    PlaceDirectories(shape.resources, layout);
    PlaceNamesAndData(shape.resources, shape.cutData, kSectionAlignment, headerAt, layout);
    std::string headers(kHeaderDataStart, '\0'), section;
    WriteDirectories(shape.resources, layout, section);
    WriteNamesAndData(shape.resources, layout, section, headers);
    const uint32_t headersSize = AlignUp(std::max<size_t>(headers.size(), 0x400), kFileAlignment);
    headers.resize(headersSize, '\0');
    const uint32_t written = AlignUp(section.size(), kFileAlignment);
    section.resize(written, '\0');
    uint32_t rawSize = written;
    if (shape.cutData >= 0 && !shape.resources.data.at(shape.cutData).inHeaders) {
        const uint32_t end =
            layout.dataRvas.at(shape.cutData) - kSectionAlignment +
            static_cast<uint32_t>(shape.resources.data[shape.cutData].bytes.size());
        rawSize = end - std::min(end, shape.cutBack);
    }
    WriteHeaders(shape, headersSize, rawSize, written, layout, headers);
    return headers + section;
}

} // namespace differential
