// Writes a copy of a fixture DLL with one field of its version resource changed, for the
// malformed fixtures that are kept beside the well-formed ones:
//   derive_fixture SOURCE OUTPUT data-rva|root-length VALUE
// data-rva is the RVA of the version resource's data entry, root-length the VS_VERSIONINFO's
// wLength; VALUE is read as C reads a number (0xFFFF).
#include "pe_file.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool Derive(std::string& image, const std::string& field, unsigned long value) {
    testing_support::PeLayout layout;
    if (!testing_support::FindPeLayout(image, layout))
        return false;
    if (field == "data-rva")
        testing_support::PutU32(image, layout.dataEntry, static_cast<uint32_t>(value));
    else if (field == "root-length")
        testing_support::PutU16(image, layout.data, static_cast<uint16_t>(value));
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: derive_fixture SOURCE OUTPUT data-rva|root-length VALUE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || !Derive(image, argv[3], strtoul(argv[4], nullptr, 0))) {
        fprintf(stderr, "derive_fixture: cannot derive %s from %s\n", argv[3], argv[1]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    return out.good() ? 0 : 1;
}
