#pragma once

// The help viewer. POSIX: Qt Assistant as the utility's own child process, which reads
// remote-control commands on its standard input; the viewer is started with the help
// collection, a second help command only shows it and brings it forward, and the program
// ends it (posix_spawn with a socket on its standard input, SIGTERM to end it).
// Windows, where there is no Qt Assistant: every help command opens the plain page in the
// web browser (OpenInBrowser); the browser is nobody's child, so nothing runs to be shown
// or ended.
// A viewer that is missing or fails is ignored: the help is a convenience, never a
// reason to bother the operator with a message.

#include <sys/types.h>

#include <string>
#include <utility>

namespace kv::platform {

#ifdef _WIN32
inline constexpr bool kHelpInBrowser = true;
#else
inline constexpr bool kHelpInBrowser = false;
#endif

enum class HelpOutcome {
    kStarted,   // a new viewer was started (Windows: the browser was asked to open the page)
    kShown,     // the running viewer was told to show itself (and the page)
    kNoViewer,  // no viewer program, or it could not be started
};

class HelpViewer {
  public:
    // program: the viewer's executable (empty: none installed); collection: the help
    // collection it opens.
    HelpViewer(std::string program, std::string collection);
    // A viewer still running ends with the program whose child it is.
    ~HelpViewer();
    HelpViewer(const HelpViewer&) = delete;
    HelpViewer& operator=(const HelpViewer&) = delete;

    // Takes effect when a viewer is next started.
    void SetProgram(std::string program) { program_ = std::move(program); }
    void SetCollection(std::string collection) { collection_ = std::move(collection); }
    const std::string& program() const { return program_; }

    // Without a viewer: starts one at `startPage`. With one running: shows it and brings
    // it forward at `page`, or where it stands when `page` is empty. Pages are the
    // viewer's own addresses (qthelp://...; in the browser file://...).
    HelpOutcome Show(const std::string& page, const std::string& startPage);

    // Ends a running viewer (bounded wait); nothing when none runs.
    void End();

    // True while the started viewer has not ended; an ended one is reaped.
    bool Running();
    pid_t pid() const { return pid_; }

    // The remote-control lines sent on the viewer's standard input. Assistant reads a
    // command line at a time and takes several commands on one line, separated by ";",
    // and brings its window forward after every line; a line that shows the viewer
    // therefore always starts with the command that shows it.
    static std::string StartCommands(const std::string& page);
    static std::string ShowCommands(const std::string& page);

  private:
    bool Start();
    bool Send(const std::string& line);
    void Forget();

    std::string program_;
    std::string collection_;
    pid_t pid_ = -1;
    int input_ = -1;  // our end of the viewer's standard input
};

// The viewer program: `configured` (the build's Qt binaries folder) when it is an
// executable file, else "assistant" found on PATH, else empty. Windows: always empty
// (the browser shows the help).
std::string FindHelpViewer(const std::string& configured);

// The program that stands in for the web browser when this variable names one: it is
// started with the address as its only argument (tests use it, so that no real browser
// opens).
inline constexpr const char* kBrowserVariable = "KV3380U_BROWSER";

// Opens an address in the web browser, detached from the program; false when it could
// not be handed over. Windows: ShellExecuteW's "open". POSIX: xdg-open.
bool OpenInBrowser(const std::string& address);

// The file:// address of a full path (POSIX "/...", Windows "C:\..." or a UNC path
// "\\server\share\..."), as a browser and the Windows shell read it back: '\' as
// '/', blanks and the characters that would end or change a URL's path percent-encoded,
// letters beyond ASCII kept as they are (the Windows shell decodes %-escapes in the
// system's code page, not in UTF-8).
std::string FileUrl(const std::string& path);

}  // namespace kv::platform
