#pragma once

// Where the help stands: the compiled help and its collection in the program folder,
// the page that belongs to each window, and the same pages as plain files for a web
// browser.

#include <string>

namespace kv {

// The help's namespace and folder inside the compiled help (W_kv3380u.qhp).
inline constexpr const char* kHelpNamespace = "kv3380u.w-kv3380u";
inline constexpr const char* kHelpFolder = "doc";
inline constexpr const char* kHelpStartPage = "index.html";

// The page of a window, by the window's object name ("Form1", "Form2", "FormLanParam"...);
// the main window's page for any other name.
const char* HelpPageForWindow(const std::string& objectName);
// The viewer's address of a page: qthelp://<namespace>/<folder>/<page>.
std::string HelpPageUrl(const std::string& page);
// The address the help command gives this system's viewer for a page: HelpPageUrl for
// Qt Assistant; where the help opens in the web browser (Windows), the file:// address of
// the plain page in the program folder.
std::string HelpPageAddress(const std::string& page);

// The collection the viewer opens: W_kv3380u.qhc in the program folder.
std::string HelpCollectionPath();
// The start page as a plain file in the program folder, for the desktop's browser.
std::string HelpStartPageFile();

}  // namespace kv
