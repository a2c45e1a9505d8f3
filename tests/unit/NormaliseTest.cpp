// Latin letters with diacritics composed (NFC) from a letter and its combining mark
// (NFD), as some editors save text.

#include <gtest/gtest.h>

#include <string>

#include "platform/Normalise.h"

namespace kv::platform {
namespace {

TEST(NormaliseTest, DecomposedLettersComposeAndTheRestStaysAsItWas) {
    // The Czech pangram, composed and decomposed letter by letter (caron U+030C, acute
    // U+0301, ring U+030A).
    const std::string composed = "Příliš žluťoučký kůň úpěl ďábelské ódy; ČÍSLO UDP PORTU";
    const std::string decomposed =
        "Pr\u030Ci\u0301lis\u030C z\u030Clut\u030Couc\u030Cky\u0301 ku\u030An\u030C u\u0301pe"
        "\u030Cl d\u030Ca\u0301belske\u0301 o\u0301dy; C\u030CI\u0301SLO UDP PORTU";
    EXPECT_EQ(ComposeLatin(decomposed), composed);
    EXPECT_EQ(ComposeLatin(composed), composed);
    // Beyond Czech: German, Polish, Hungarian, French.
    EXPECT_EQ(ComposeLatin("Gru\u0308n Zo\u0301\u0142w o\u030Bu c\u0327a e\u0300"),
              "Grün Zó\u0142w őu ça è");

    // A mark with nothing to join, after a letter it does not go with, or twice.
    for (const std::string& kept :
         {std::string("\u030Cx"), std::string("q\u030C"), std::string("e\u0301\u0301"),
          std::string("ě\u030C"), std::string("x\u20AC")})
        EXPECT_EQ(ComposeLatin(kept), kept == "e\u0301\u0301" ? "é\u0301" : kept) << kept;
    // Not UTF-8: left for the reader to report.
    EXPECT_EQ(ComposeLatin("Br\xE1na e\xCC\x8C"), "Br\xE1na e\xCC\x8C");
    EXPECT_EQ(ComposeLatin(""), "");
}

}  // namespace
}  // namespace kv::platform
