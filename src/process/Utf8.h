#pragma once

#include <string_view>

namespace nimbla {

// Strict UTF-8 validation: rejects truncated and invalid sequences, overlong forms, surrogates
// (U+D800..U+DFFF) and code points above U+10FFFF. The empty text is valid.
bool isValidUtf8(std::string_view bytes);

}  // namespace nimbla
