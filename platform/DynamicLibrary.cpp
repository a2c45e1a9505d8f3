#include "platform/DynamicLibrary.h"

namespace kv::platform {
namespace {

unsigned Little16(std::string_view bytes, std::size_t at) {
    if (at + 2 > bytes.size()) return 0;
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

std::uint32_t Little32(std::string_view bytes, std::size_t at) {
    if (at + 4 > bytes.size()) return 0;
    return Little16(bytes, at) | static_cast<std::uint32_t>(Little16(bytes, at + 2)) << 16;
}

// A Windows image's processor (IMAGE_FILE_HEADER.Machine) in words.
std::string WindowsMachine(unsigned machine) {
    switch (machine) {
        case 0x014c:
            return "32bitová Windows (x86)";
        case 0x8664:
            return "64bitová Windows (x64)";
        case 0xaa64:
            return "Windows na ARM64";
        case 0x01c4:
            return "Windows na ARM";
    }
    return "Windows na jiném procesoru (typ " + std::to_string(machine) + ")";
}

// A shared object's class (32 or 64 bits) and processor (e_machine) in words.
std::string LinuxMachine(unsigned elfClass, unsigned machine) {
    switch (machine) {
        case 3:
            return "32bitový Linux (x86)";
        case 62:
            return "64bitový Linux (x86-64)";
        case 183:
            return "Linux na ARM64";
        case 40:
            return "Linux na ARM";
    }
    return std::string(elfClass == 1 ? "32bitový" : "64bitový") +
           " Linux na jiném procesoru (typ " + std::to_string(machine) + ")";
}

// This program's own system and processor, in the same words.
std::string ProgramMachine() {
#if defined(_WIN32)
#if defined(__aarch64__) || defined(_M_ARM64)
    return WindowsMachine(0xaa64);
#elif defined(__x86_64__) || defined(_M_X64)
    return WindowsMachine(0x8664);
#else
    return WindowsMachine(0x014c);
#endif
#else
#if defined(__aarch64__)
    return LinuxMachine(2, 183);
#elif defined(__x86_64__)
    return LinuxMachine(2, 62);
#elif defined(__arm__)
    return LinuxMachine(1, 40);
#else
    return LinuxMachine(1, 3);
#endif
#endif
}

// The system and processor a library is for, from its header; empty for a file that is
// not a library of either system.
std::string LibraryMachine(std::string_view head) {
    if (head.substr(0, 4) == std::string_view("\x7f"
                                              "ELF",
                                              4) &&
        head.size() >= 20)
        return LinuxMachine(static_cast<unsigned char>(head[4]), Little16(head, 18));
    if (head.substr(0, 2) == "MZ") {
        const std::uint32_t pe = Little32(head, 0x3c);
        if (pe + 6 <= head.size() && head.substr(pe, 4) == std::string_view("PE\0\0", 4))
            return WindowsMachine(Little16(head, pe + 4));
    }
    return {};
}

}  // namespace

std::string LibraryHeaderProblem(std::string_view head, std::uint64_t size) {
    if (size == 0) return "soubor je prázdný";
    const std::string library = LibraryMachine(head);
    if (library.empty()) return "soubor není knihovna (nemá hlavičku knihovny Windows ani Linuxu)";
    const std::string program = ProgramMachine();
    if (library == program) return {};
    return "knihovna je pro " + library + ", program pro " + program;
}

}  // namespace kv::platform
