#pragma once

// Unicode composition for the Latin letters with diacritics (U+00C0 to U+017F): a letter
// followed by its combining mark (decomposed, NFD, as some editors save text) becomes the
// one composed character (NFC), so that "Číslo" reads the same whichever way it was saved.

#include <string>
#include <string_view>

namespace kv::platform {

// The text with every such pair composed; anything else as it was. A text that is not
// well-formed UTF-8 comes back unchanged.
std::string ComposeLatin(std::string_view utf8);

}  // namespace kv::platform
