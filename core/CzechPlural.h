#pragma once

// Czech words that agree with a count, for every front end's texts.

#include <cstddef>
#include <string>

namespace kv {

// The form of a word that agrees with a count in Czech: `one` for 1, `few` for 2 to 4,
// `many` for the rest ("1 blok", "2 bloky", "5 bloků", "0 bloků").
const char* Plural(std::size_t count, const char* one, const char* few, const char* many);
// The count and the form: "2 bloky".
std::string Counted(std::size_t count, const char* one, const char* few, const char* many);

}  // namespace kv
