#pragma once

// The reasons the platform layer gives in words, the same whichever half found them: each
// half maps its system's error codes (errno, GetLastError) onto these (FileAccess,
// StdStreams).

#include <string>

namespace kv::platform::words {

inline constexpr const char* kUnknownReason = "důvod neznámý";
inline constexpr const char* kHardLinks =
    "soubor má další pevné odkazy (hard links), které by nový soubor na jeho místě odpojil; "
    "zapište jej jinam";
inline constexpr const char* kOwnerNotKept =
    "soubor patří jinému uživateli nebo skupině a nový soubor na jeho místě by tohoto "
    "vlastníka nezachoval";
inline constexpr const char* kDanglingLink =
    "symbolický odkaz vede na soubor, který neexistuje, a tento systém jej založit neumí";
inline constexpr const char* kNoSuchFile = "soubor nebo složka neexistuje";
inline constexpr const char* kNoPermission = "chybí oprávnění";
inline constexpr const char* kDiskFull = "na disku není místo";
inline constexpr const char* kQuota = "vyčerpána disková kvóta";
inline constexpr const char* kFileTooLarge = "soubor by byl příliš velký";
inline constexpr const char* kInputOutput = "chyba vstupu/výstupu";
inline constexpr const char* kReaderGone = "čtenář výstupu skončil";
inline constexpr const char* kNotOpen = "není otevřen";
inline constexpr const char* kIsFolder = "je to složka";
inline constexpr const char* kNotFolder = "část cesty není složka";
inline constexpr const char* kReadOnlyFileSystem = "systém souborů je jen pro čtení";
inline constexpr const char* kNoDevice = "zařízení není připojeno";
inline constexpr const char* kPathTooLong = "cesta je příliš dlouhá";
inline constexpr const char* kLinkLoop = "příliš mnoho symbolických odkazů";
inline constexpr const char* kInUse = "soubor se právě používá";
inline constexpr const char* kBadName = "neplatný název souboru";

inline constexpr const char* kNotARegularFile = "není to obyčejný soubor";
// A standard stream the program was started without, or that has been closed.
inline constexpr const char* kStreamClosed = "je zavřený";

// An error code no word above fits: its number and the system's own words.
inline std::string SystemError(long code, const std::string& systemWords) {
    return "chyba systému " + std::to_string(code) + " (" + systemWords + ")";
}

inline std::string FileTooLarge(unsigned long long size, std::size_t limit) {
    return "soubor má " + std::to_string(size) + " bajtů, víc než " + std::to_string(limit) +
           " bajtů";
}

inline std::string InputTooLong(std::size_t limit) {
    return "vstup je delší než " + std::to_string(limit) + " bajtů";
}

}  // namespace kv::platform::words
