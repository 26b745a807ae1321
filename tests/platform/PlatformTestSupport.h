#pragma once

#include <plist/plist.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace nimbla::platform::testing_support {

// A fresh folder (with symbolic links resolved), removed with its content at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "nimbla-plat-XXXXXX");
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = std::filesystem::canonical(pattern);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ / relative; }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

enum class PlistFormat { Xml, Binary };

// Writes a dictionary holding one string entry, in the form asked for.
inline void writePlist(const std::string& path, const std::string& key, const std::string& value,
                       PlistFormat format) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string("1.2.3"));
    char* data = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::Xml) {
        plist_to_xml(dict, &data, &length);
        writeFile(path, std::string(data, length));
        plist_to_xml_free(data);
    } else {
        plist_to_bin(dict, &data, &length);
        writeFile(path, std::string(data, length));
        plist_to_bin_free(data);
    }
    plist_free(dict);
}

}  // namespace nimbla::platform::testing_support
