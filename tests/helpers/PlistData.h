#pragma once

// Property lists for the tests, written here rather than by the library under test: a top-level
// dictionary of ASCII strings and unsigned integers, as XML or in the binary form (bplist00).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace nimbla::testsupport {

using PlistValue = std::variant<std::string, std::uint64_t>;
using PlistEntries = std::vector<std::pair<std::string, PlistValue>>;

inline std::string xmlPlist(const PlistEntries& entries) {
    const auto escaped = [](const std::string& text) {
        std::string out;
        for (char c : text)
            out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
        return out;
    };
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST "
        "1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">"
        "\n<dict>\n";
    for (const auto& [key, value] : entries) {
        xml += "\t<key>" + escaped(key) + "</key>\n";
        if (const auto* text = std::get_if<std::string>(&value))
            xml += "\t<string>" + escaped(*text) + "</string>\n";
        else
            xml += "\t<integer>" + std::to_string(std::get<std::uint64_t>(value)) + "</integer>\n";
    }
    return xml + "</dict>\n</plist>\n";
}

// Object 0 is the dictionary, then the keys, then the values; references take one byte and
// offsets two, which is plenty for a test's few entries.
inline std::string binaryPlist(const PlistEntries& entries) {
    const auto bigEndian = [](std::string& out, std::uint64_t n, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) out += char((n >> (8 * i)) & 0xff);
    };
    const auto string = [&](std::string& out, const std::string& text) {
        if (text.size() < 15) {
            out += char(0x50 | text.size());
        } else {
            out += "\x5f\x10";
            out += char(text.size());  // under 256
        }
        out += text;
    };
    std::string data = "bplist00";
    std::vector<std::size_t> offsets{data.size()};
    const std::size_t count = entries.size();  // under 15
    data += char(0xd0 | count);
    for (std::size_t i = 1; i <= 2 * count; ++i) data += char(i);
    for (const auto& entry : entries) offsets.push_back(data.size()), string(data, entry.first);
    for (const auto& [key, value] : entries) {
        offsets.push_back(data.size());
        if (const auto* text = std::get_if<std::string>(&value)) {
            string(data, *text);
        } else {
            data += '\x13';
            bigEndian(data, std::get<std::uint64_t>(value), 8);
        }
    }
    const std::size_t table = data.size();
    for (std::size_t offset : offsets) bigEndian(data, offset, 2);
    data += std::string(6, '\0') + "\x02\x01";
    bigEndian(data, offsets.size(), 8);
    bigEndian(data, 0, 8);
    bigEndian(data, table, 8);
    return data;
}

// A dictionary with the entries given, in binary or XML form, written to `path`.
inline void writePlist(const std::filesystem::path& path, const PlistEntries& entries,
                       bool binary) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << (binary ? binaryPlist(entries) : xmlPlist(entries));
}

}  // namespace nimbla::testsupport
