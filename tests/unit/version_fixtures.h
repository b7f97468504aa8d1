// The fixture DLLs of the version reader and the product version each one carries.
#ifndef DLLINSTALL_TESTS_VERSION_FIXTURES_H
#define DLLINSTALL_TESTS_VERSION_FIXTURES_H

#include <ostream>
#include <string>
#include <vector>

namespace testing_support {

struct VersionFixture {
    std::string name;
    std::string productVersion; // what GetProductVersion gives: empty when none
    bool asciiOnly;             // Wine's console code page 1252 prints it as the Linux build does
};

// How test names show a fixture: by its file name, not its bytes.
inline void PrintTo(const VersionFixture& fixture, std::ostream* out) {
    *out << fixture.name;
}

// The long text of version_long.rc, built the way the script was written.
inline std::string LongProductVersion() {
    std::string text = "4.2.0.1 (build of the long product version text";
    while (text.size() < 300)
        text += ", and then some more words to make it long";
    return text + ")";
}

inline const std::vector<VersionFixture>& VersionFixtures() {
    static const std::vector<VersionFixture> fixtures = {
        {"v1.0.0.0.dll", "1.0.0.0", true},
        {"v1.2.3.4.dll", "1.2.3.4", true},
        {"v3.0.0.0.dll", "3.0.0.0", true},
        {"pe32_v1.2.3.4.dll", "1.2.3.4", true},
        {"unversioned.dll", "", true},
        {"version_two_translations.dll", "7.7.7.7", true},
        {"pe32_version_two_translations.dll", "7.7.7.7", true},
        {"version_tables_reordered.dll", "7.7.7.7", true},
        {"version_commas.dll", "2, 0, 1, 5", true},
        {"version_no_product.dll", "", true},
        {"version_no_translation.dll", "", true},
        {"version_japanese.dll", "5.0.0.0", true},
        {"version_long.dll", LongProductVersion(), true},
        {"version_key_case.dll", "4.3.2.1", true},
        {"version_non_ascii.dll", "1.0 \xCE\xB2", false},
        {"pe32_version_non_ascii.dll", "1.0 \xCE\xB2", false},
        // Several version resources: id 1 only, neutral first, then the user's languages,
        // English (US) and English, then the first listed.
        {"version_lang_german_english.dll", "9.0.0.0", true},
        {"version_lang_neutral_english.dll", "1.0.0.0", true},
        {"version_lang_french_only.dll", "9.0.0.0", true},
        {"version_lang_unsorted.dll", "1.0.0.0", true},
        {"version_lang_british_german.dll", "1.0.0.0", true},
        {"version_lang_georgian_german.dll", "1.0.0.0", true},
        {"version_lang_default_german.dll", "9.0.0.0", true},
        {"version_lang_neutral_sublanguages.dll", "9.0.0.0", true},
        {"version_id2.dll", "", true},
        {"version_named.dll", "", true},
        {"version_named_and_id1.dll", "1.0.0.0", true},
    };
    return fixtures;
}

} // namespace testing_support

#endif
