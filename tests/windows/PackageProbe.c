/* package_probe: what Windows itself reads from the files of the package, for the package
 * test (scripts/windows-package-test.sh). A Windows console program, run under wine.
 *
 *   package_probe.exe version FILE...
 *   package_probe.exe link FILE.lnk
 *   package_probe.exe open FILE.lnk
 *   package_probe.exe run COMMANDLINE
 *
 * "link": the shortcut's target, arguments and working folder as the shell resolves them,
 * one "key=value" line each ("target=", "arguments=", "folder=").
 * "open": starts the shortcut's target with its arguments in its working folder, as the
 * Start menu does, with this program's standard streams; "run": starts the command line
 * exactly as given (wine would quote the words of a Linux command line its own way).
 * Both wait for the program and end with its exit code (125 when it did not start).
 * "version": the version resources, as Explorer's properties show them. For each file one
 * line "file=NAME", then "key=value" lines in UTF-8:
 *   languages=0405            the languages of its RT_VERSION resource, by the resource
 *                             directory (Explorer's "Language" comes from there)
 *   numbers=1.3.0.0           the file version's numbers; product-numbers likewise
 *   translation=0405 04b0     the language and code page of every translation
 *   type=app|dll|other
 *   CompanyName=... and the other texts of the first translation's block
 * A file without a version resource gives "none". Exit code 0 when every file has one,
 * else 1; 2 for a usage mistake. */

#define COBJMACROS
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

static void Write(const wchar_t* text) {
    char bytes[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    DWORD written = 0;
    if (n > 1) WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, (DWORD)(n - 1), &written, NULL);
}

static void Line(const wchar_t* key, const wchar_t* value) {
    Write(key);
    Write(L"=");
    Write(value);
    Write(L"\n");
}

static BOOL CALLBACK AddLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                                 LONG_PTR list) {
    wchar_t* text = (wchar_t*)list;
    size_t used = wcslen(text);
    (void)module;
    (void)type;
    (void)name;
    if (used + 6 < 256) swprintf(text + used, 256 - used, used == 0 ? L"%04x" : L" %04x", language);
    return TRUE;
}

static void Numbers(const wchar_t* key, DWORD high, DWORD low) {
    wchar_t text[64];
    swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
    Line(key, text);
}

static int Probe(const wchar_t* path) {
    static const wchar_t* const kTexts[] = {
        L"CompanyName",    L"FileDescription",  L"FileVersion", L"InternalName",
        L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"};
    wchar_t languages[256] = L"";
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    HMODULE module;
    void* info;
    VS_FIXEDFILEINFO* fixed = NULL;
    WORD* translations = NULL;
    UINT length = 0;
    UINT i;

    Line(L"file", path);
    if (size == 0) {
        Write(L"none\n");
        return 0;
    }
    module = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module != NULL) {
        EnumResourceLanguagesW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), AddLanguage,
                               (LONG_PTR)languages);
        FreeLibrary(module);
    }
    Line(L"languages", languages);

    info = malloc(size);
    if (info == NULL || !GetFileVersionInfoW(path, 0, size, info)) {
        free(info);
        Write(L"none\n");
        return 0;
    }
    if (VerQueryValueW(info, L"\\", (void**)&fixed, &length) && length >= sizeof *fixed) {
        Numbers(L"numbers", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        Numbers(L"product-numbers", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
        Line(L"type", fixed->dwFileType == VFT_APP   ? L"app"
                      : fixed->dwFileType == VFT_DLL ? L"dll"
                                                     : L"other");
    }
    if (VerQueryValueW(info, L"\\VarFileInfo\\Translation", (void**)&translations, &length) &&
        length >= 4) {
        wchar_t text[256] = L"";
        for (i = 0; i + 1 < length / 2 && wcslen(text) + 12 < 256; i += 2)
            swprintf(text + wcslen(text), 256 - wcslen(text),
                     i == 0 ? L"%04x %04x" : L", %04x %04x", translations[i], translations[i + 1]);
        Line(L"translation", text);
        for (i = 0; i < sizeof kTexts / sizeof kTexts[0]; ++i) {
            wchar_t query[128];
            wchar_t* value = NULL;
            UINT chars = 0;
            swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0],
                     translations[1], kTexts[i]);
            if (VerQueryValueW(info, query, (void**)&value, &chars) && value != NULL)
                Line(kTexts[i], value);
        }
    }
    free(info);
    return 1;
}

typedef struct {
    wchar_t target[MAX_PATH];
    wchar_t arguments[4096];
    wchar_t folder[MAX_PATH];
} Shortcut;

static int ReadLink(const wchar_t* path, Shortcut* shortcut) {
    IShellLinkW* link = NULL;
    IPersistFile* file = NULL;
    int ok = 0;
    if (FAILED(CoInitialize(NULL))) return 0;
    if (SUCCEEDED(CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkW,
                                   (void**)&link)) &&
        SUCCEEDED(IShellLinkW_QueryInterface(link, &IID_IPersistFile, (void**)&file)) &&
        SUCCEEDED(IPersistFile_Load(file, path, STGM_READ)) &&
        SUCCEEDED(IShellLinkW_GetPath(link, shortcut->target, MAX_PATH, NULL, SLGP_RAWPATH)) &&
        SUCCEEDED(IShellLinkW_GetArguments(link, shortcut->arguments, 4096)) &&
        SUCCEEDED(IShellLinkW_GetWorkingDirectory(link, shortcut->folder, MAX_PATH)))
        ok = 1;
    if (file != NULL) IPersistFile_Release(file);
    if (link != NULL) IShellLinkW_Release(link);
    CoUninitialize();
    return ok;
}

static int Run(wchar_t* commandLine, const wchar_t* folder) {
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    DWORD code = 125;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (!CreateProcessW(NULL, commandLine, NULL, NULL, TRUE, 0, NULL,
                        folder != NULL && folder[0] != 0 ? folder : NULL, &startup, &process))
        return 125;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return (int)code;
}

int wmain(int argc, wchar_t** argv) {
    int all = 1;
    int i;
    if (argc == 3 && wcscmp(argv[1], L"run") == 0) return Run(argv[2], NULL);
    if (argc == 3 && (wcscmp(argv[1], L"link") == 0 || wcscmp(argv[1], L"open") == 0)) {
        static Shortcut shortcut;
        static wchar_t commandLine[8192];
        if (!ReadLink(argv[2], &shortcut)) return 1;
        if (wcscmp(argv[1], L"link") == 0) {
            Line(L"target", shortcut.target);
            Line(L"arguments", shortcut.arguments);
            Line(L"folder", shortcut.folder);
            return 0;
        }
        swprintf(commandLine, 8192, L"\"%ls\" %ls", shortcut.target, shortcut.arguments);
        return Run(commandLine, shortcut.folder);
    }
    if (argc < 3 || wcscmp(argv[1], L"version") != 0) {
        fputs("usage: package_probe.exe version FILE... | link|open FILE.lnk | run COMMANDLINE\n",
              stderr);
        return 2;
    }
    for (i = 2; i < argc; ++i) all &= Probe(argv[i]);
    return all ? 0 : 1;
}
