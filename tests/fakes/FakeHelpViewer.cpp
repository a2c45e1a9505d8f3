// A stand-in for the help viewer: started as the utility starts Qt Assistant
// (-collectionFile FILE -enableRemoteControl), it appends what it was started with and
// every command line it reads on its standard input to FILE.log. The collection file's
// content picks a behaviour: "exit" ends at once with an error, "deaf" closes its input
// and waits, anything else reads commands until its input ends and then waits, as
// Assistant does. Waiting is bounded, so a forgotten viewer ends by itself; SIGTERM ends
// it at once.
// Started with one address instead (as the web browser, KV3380U_BROWSER), it appends
// "open ADDRESS" to the file that KV_FAKE_BROWSER_LOG names and ends.

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

std::string g_log;

void Log(const std::string& line) {
    if (FILE* f = std::fopen(g_log.c_str(), "ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

void WaitBounded() {
    for (int i = 0; i < 600; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

long ProcessId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && argv[1][0] != '-') {
        const char* log = std::getenv("KV_FAKE_BROWSER_LOG");
        if (log == nullptr) return 2;
        g_log = log;
        Log(std::string("open ") + argv[1]);
        return 0;
    }
    std::string collection;
    bool remote = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-collectionFile") == 0 && i + 1 < argc) collection = argv[++i];
        if (std::strcmp(argv[i], "-enableRemoteControl") == 0) remote = true;
    }
    if (collection.empty()) return 2;
    g_log = collection + ".log";
    std::ifstream in(collection);
    const std::string mode((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Log("start " + std::to_string(ProcessId()) + (remote ? " remote" : " no-remote"));
    if (mode.find("exit") != std::string::npos) {
        Log("exit");
        return 3;
    }
    if (mode.find("deaf") != std::string::npos) {
        std::fclose(stdin);
        Log("deaf");
        WaitBounded();
        return 0;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::string command = line;
        if (!command.empty() && command.back() == '\n') command.pop_back();
        Log("command " + command);
    }
    Log("eof");
    WaitBounded();
    return 0;
}
