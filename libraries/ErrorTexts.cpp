#include "libraries/ErrorTexts.h"

#include <cstring>

#include "libraries/KvWire.h"

namespace kv::lib {
namespace {

struct Letter {
    const char* utf8;
    unsigned char cp1250;
};

constexpr Letter kLetters[] = {
    {"á", 0xE1}, {"č", 0xE8}, {"ď", 0xEF}, {"é", 0xE9}, {"ě", 0xEC}, {"í", 0xED},
    {"ň", 0xF2}, {"ó", 0xF3}, {"ř", 0xF8}, {"š", 0x9A}, {"ť", 0x9D}, {"ú", 0xFA},
    {"ů", 0xF9}, {"ý", 0xFD}, {"ž", 0x9E}, {"Á", 0xC1}, {"Č", 0xC8}, {"Ď", 0xCF},
    {"É", 0xC9}, {"Ě", 0xCC}, {"Í", 0xCD}, {"Ň", 0xD2}, {"Ó", 0xD3}, {"Ř", 0xD8},
    {"Š", 0x8A}, {"Ť", 0x8D}, {"Ú", 0xDA}, {"Ů", 0xD9}, {"Ý", 0xDD}, {"Ž", 0x8E},
};

std::string DeviceNotFound(std::uint8_t kind) {
    switch (kind) {
        case 0:
            return "Zařízení USB nenalezeno";
        case 2:
            return "Sériový port nenalezen";
        case 3:
            return "Karta PCI-380 není v tomto počítači nainstalována";
        case 4:
            return "Karta PCI-3380 není v tomto počítači nainstalována";
        case 5:
            return "Převodník USB-3380 není k tomuto počítači připojen";
        default:
            return "Zařízení nenalezeno";
    }
}

}  // namespace

std::string ErrorTextUtf8(std::uint8_t kind, std::uint32_t code) {
    switch (code) {
        case wire::kOk:
            return "OK";
        case wire::kDeviceNotFound:
            return DeviceNotFound(kind);
        case wire::kBadHandle:
            return "Neplatný identifikátor připojení";
        case wire::kOpenFailed:
            return "Komunikační rozhraní nelze otevřít";
        case wire::kBadParameter:
            return "Neplatný parametr připojení";
        case wire::kTimeout:
            return "Modul neodpověděl v nastaveném čase";
        case wire::kSendFailed:
            return "Požadavek nelze odeslat";
        case wire::kBadReply:
            return "Chybná odpověď modulu";
        case wire::kTooManyOpen:
            return "Příliš mnoho otevřených připojení";
        case wire::kReadBack:
            return "Chyba zápisu dat.";
        case wire::kNotLoaded:
            return "Neplatný typ rozhraní nebo chybí funkce knihovny";
        case wire::kModuleUnknownRequest:
            return "Modul nezná požadovanou funkci";
        case wire::kModuleBadBlock:
            return "Neplatné číslo konfiguračního bloku";
        case wire::kModuleBadChecksum:
            return "Chybný kontrolní součet konfiguračního bloku";
        case wire::kModuleNoData:
            return "Modul nemá předaná data k uložení";
        case wire::kModuleStoreFailed:
            return "Modul nemohl konfiguraci uložit";
        case wire::kModuleBusAbsent:
            return "Adresovaný modul na lince RS-485 neodpovídá";
        default:
            return "Neznámý kód chyby " + std::to_string(code);
    }
}

std::string ToCp1250(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        bool found = false;
        for (const Letter& l : kLetters) {
            std::size_t n = std::strlen(l.utf8);
            if (utf8.compare(i, n, l.utf8) == 0) {
                out += static_cast<char>(l.cp1250);
                i += n;
                found = true;
                break;
            }
        }
        if (!found) {
            out += '?';
            // Skip the rest of this UTF-8 sequence.
            ++i;
            while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
        }
    }
    return out;
}

void WriteTextWords(const std::string& cp1250, std::uint32_t* words) {
    constexpr std::size_t kMaxChars = 99;
    words[0] = 0;
    std::size_t n = 0;
    for (; n < cp1250.size() && n < kMaxChars; ++n)
        words[1 + n] = static_cast<unsigned char>(cp1250[n]);
    for (std::size_t i = 1 + n; i < 1024; ++i) words[i] = 0;
}

}  // namespace kv::lib
