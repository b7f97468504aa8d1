#include "lying_version.h"

#include <cstdint>

namespace e2e {

namespace {

// The fields of a fixture's version resource, found by a walk of its headers.
class LyingVersion {
  public:
    explicit LyingVersion(std::string dll)
        : dll_(std::move(dll)), info_(Find(u"VS_VERSION_INFO")) {}

    bool usable() const { return info_ != std::string::npos && DataEntry() != std::string::npos; }

    std::vector<std::pair<std::string, std::string>> Variants() const {
        const size_t product = Find(u"ProductVersion");
        const size_t entry = DataEntry();
        return {
            {"root_length_huge", With(info_, 0xFFFF, 2)},
            {"root_length_zero", With(info_, 0, 2)},
            {"root_value_length_huge", With(info_ + 2, 0xFFFF, 2)},
            {"string_length_huge", With(product - 6, 0xFFFF, 2)},
            {"string_value_length_huge", With(product - 4, 0xFFFF, 2)},
            {"resource_size_huge", With(entry + 4, 0x7FFFFFFF, 4)},
            {"resource_offset_outside", With(entry, 0x7FFFFFF0, 4)},
            {"cut_inside_version", dll_.substr(0, info_ + 40)},
            {"cut_inside_headers", dll_.substr(0, 300)},
        };
    }

  private:
    // A key is UTF-16 text after three WORDs: wLength, wValueLength and wType.
    size_t Find(const std::u16string& key) const {
        std::string bytes;
        for (char16_t c : key) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        const size_t at = dll_.find(bytes);
        return at == std::string::npos || at < 6 ? std::string::npos : at - 6;
    }

    uint32_t Read(size_t at, int size) const {
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(dll_.at(at + i));
        return value;
    }

    std::string With(size_t at, uint32_t value, int size) const {
        std::string bytes = dll_;
        for (int i = 0; i < size; ++i)
            bytes.at(at + i) = static_cast<char>(value >> (8 * i));
        return bytes;
    }

    // The IMAGE_RESOURCE_DATA_ENTRY whose OffsetToData is the version block's address.
    size_t DataEntry() const {
        const size_t header = Read(0x3C, 4);
        const size_t sections = header + 24 + Read(header + 20, 2);
        for (size_t i = 0; i < Read(header + 6, 2); ++i) {
            const size_t section = sections + 40 * i;
            const size_t raw = Read(section + 20, 4);
            if (info_ < raw || info_ >= raw + Read(section + 16, 4))
                continue;
            const uint32_t address = Read(section + 12, 4) + static_cast<uint32_t>(info_ - raw);
            for (size_t at = raw; at + 8 <= raw + Read(section + 16, 4); at += 4) {
                if (Read(at, 4) == address && Read(at + 4, 4) >= Read(info_, 2))
                    return at;
            }
        }
        return std::string::npos;
    }

    std::string dll_;
    size_t info_;
};

} // namespace

std::vector<std::string> LyingVersionNames() {
    return {"root_length_huge",        "root_length_zero",         "root_value_length_huge",
            "string_length_huge",      "string_value_length_huge", "resource_size_huge",
            "resource_offset_outside", "cut_inside_version",       "cut_inside_headers"};
}

std::vector<std::pair<std::string, std::string>> LyingVersions(const std::string& dll) {
    const LyingVersion version(dll);
    if (!version.usable())
        return {};
    return version.Variants();
}

} // namespace e2e
