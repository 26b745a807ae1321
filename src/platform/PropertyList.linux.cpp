#include <plist/plist.h>

#include <memory>

#include "platform/PropertyListData.h"

namespace nimbla::platform::os {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};

}  // namespace

// libplist, as Linux has no property list reader of its own.
std::optional<std::string> plistStringFromData(std::string_view data, const std::string& key) {
    plist_t raw = nullptr;
    plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &raw);
    const std::unique_ptr<void, PlistFree> root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    plist_t value = plist_dict_get_item(root.get(), key.c_str());
    if (!value || plist_get_node_type(value) != PLIST_STRING) {
        return std::nullopt;
    }
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(value, &length);
    if (!text) {
        return std::nullopt;
    }
    return std::string(text, static_cast<std::size_t>(length));
}

}  // namespace nimbla::platform::os
