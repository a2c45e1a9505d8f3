// Every window's help page exists, is part of the compiled help and is in its table of
// contents; the addresses the program asks the viewer for match the help project.

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "app/HelpPages.h"
#include "cli/Output.h"
#include "platform/HelpViewer.h"
#include "platform/ProgramFolder.h"
#include "tests/support/ScratchFolder.h"

namespace {

using kv::testing::ReadBytes;

const std::string kHelp = std::string(KV_SOURCE_DIR) + "/help/";

// The object names the windows carry: the class name without its leading "T".
const char* const kWindows[] = {
    "Form1",           "Form2",       "FormLanParam",  "FormVzdalenaSprava", "FormNastavLAN",
    "FormDiagnostika", "FormRestart", "FormOProgramu", "FormObnova"};

std::string Tag(const std::string& xml, const std::string& tag) {
    std::smatch m;
    const std::regex re("<" + tag + ">([^<]*)</" + tag + ">");
    return std::regex_search(xml, m, re) ? m[1].str() : std::string();
}

TEST(HelpPagesTest, EveryWindowHasAPageOfItsOwnInTheHelpProject) {
    const std::string project = ReadBytes(kHelp + "W_kv3380u.qhp");
    ASSERT_FALSE(project.empty());
    std::set<std::string> pages;
    for (const char* window : kWindows) {
        const std::string page = kv::HelpPageForWindow(window);
        pages.insert(page);
        const std::string html = ReadBytes(kHelp + page);
        EXPECT_NE(html.find("<h1>"), std::string::npos) << window << ": " << page;
        EXPECT_NE(project.find("<file>" + page + "</file>"), std::string::npos) << page;
        EXPECT_NE(project.find("ref=\"" + page + "\"/>"), std::string::npos)
            << page << " is not in the table of contents";
    }
    EXPECT_EQ(pages.size(), std::size(kWindows));
    EXPECT_NE(project.find("<file>" + std::string(kv::kHelpStartPage) + "</file>"),
              std::string::npos);
}

TEST(HelpPagesTest, AnyOtherWindowGetsTheMainWindowsPage) {
    const std::string main = kv::HelpPageForWindow("Form1");
    EXPECT_EQ(kv::HelpPageForWindow(""), main);
    EXPECT_EQ(kv::HelpPageForWindow("QMessageBox"), main);
    EXPECT_EQ(kv::HelpPageForWindow("form2"), main);  // names compare exactly
    EXPECT_NE(kv::HelpPageForWindow("Form2"), main);
}

TEST(HelpPagesTest, AddressesFollowTheHelpProject) {
    const std::string project = ReadBytes(kHelp + "W_kv3380u.qhp");
    const std::string ns = Tag(project, "namespace");
    const std::string folder = Tag(project, "virtualFolder");
    ASSERT_FALSE(ns.empty());
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(kv::HelpPageUrl("diagnostika.html"),
              "qthelp://" + ns + "/" + folder + "/diagnostika.html");
    // The collection's start page is the page the program starts the viewer at.
    const std::string collection = ReadBytes(kHelp + "W_kv3380u.qhcp.in");
    EXPECT_EQ(Tag(collection, "startPage"), kv::HelpPageUrl(kv::kHelpStartPage));
}

TEST(HelpPagesTest, EveryEntryOfTheIndexAndContentsLeadsToAnAnchorThatIsThere) {
    const std::string project = ReadBytes(kHelp + "W_kv3380u.qhp");
    const std::regex ref("ref=\"([^\"#]*)(#[^\"]*)?\"");
    int refs = 0;
    for (auto it = std::sregex_iterator(project.begin(), project.end(), ref);
         it != std::sregex_iterator(); ++it, ++refs) {
        const std::string html = ReadBytes(kHelp + (*it)[1].str());
        EXPECT_FALSE(html.empty()) << (*it)[0].str();
        const std::string anchor = (*it)[2].str();
        if (!anchor.empty()) {
            EXPECT_NE(html.find("id=\"" + anchor.substr(1) + "\""), std::string::npos)
                << (*it)[0].str();
        }
    }
    EXPECT_GT(refs, 50);
}

TEST(HelpPagesTest, TheHelpLivesInTheProgramFolder) {
    kv::platform::SetProgramFolderForTesting("/opt/kv");
    const std::string collection = kv::HelpCollectionPath();
    const std::string start = kv::HelpStartPageFile();
    kv::platform::SetProgramFolderForTesting("");
    EXPECT_EQ(collection, "/opt/kv/W_kv3380u.qhc");
    EXPECT_EQ(start, "/opt/kv/help/index.html");
}

TEST(HelpPagesTest, FileAddressesOfWindowsAndPosixPaths) {
    const struct {
        const char* path;
        const char* url;
    } kCases[] = {
        {"/usr/lib/kv3380u/help/index.html", "file:///usr/lib/kv3380u/help/index.html"},
        {"C:\\Program Files\\Měření KV\\help/diagnostika.html",
         "file:///C:/Program%20Files/Měření%20KV/help/diagnostika.html"},
        // What would end the path or start a query or fragment, and the escape itself.
        {"D:\\a#1\\b?c\\100%\\x&y=z;w.html", "file:///D:/a%231/b%3Fc/100%25/x%26y%3Dz%3Bw.html"},
        {"\\\\server\\share\\kv\\help\\index.html", "file://server/share/kv/help/index.html"},
        {"//server/share/index.html", "file://server/share/index.html"},
    };
    for (const auto& c : kCases) EXPECT_EQ(kv::platform::FileUrl(c.path), c.url) << c.path;
}

TEST(HelpPagesTest, TheViewerIsGivenThePageItShows) {
#ifdef _WIN32
    const std::string folder = "C:\\Program Files\\Měření KV\\";
#else
    const std::string folder = "/opt/kv/";
#endif
    kv::platform::SetProgramFolderForTesting(folder);
    const std::string address = kv::HelpPageAddress("pripojeni.html");
    kv::platform::SetProgramFolderForTesting("");
    if (kv::platform::kHelpInBrowser) {
        // The browser opens the plain page beside the program.
        EXPECT_EQ(address, "file:///C:/Program%20Files/Měření%20KV/help/pripojeni.html");
    } else {
        EXPECT_EQ(address, kv::HelpPageUrl("pripojeni.html"));
        EXPECT_EQ(address.rfind("qthelp://", 0), 0u) << address;
    }
}

TEST(HelpPagesTest, EveryLinkOfThePlainPagesLeadsToAPageOfTheHelp) {
    // The compiled help is checked by its generator; the same pages are also opened as
    // plain files in a browser, where a link to a page that is not there would break.
    const std::string project = ReadBytes(kHelp + "W_kv3380u.qhp");
    const std::regex file("<file>([^<]*)</file>");
    std::set<std::string> files;
    for (auto it = std::sregex_iterator(project.begin(), project.end(), file);
         it != std::sregex_iterator(); ++it)
        files.insert((*it)[1].str());
    const std::regex link("(href|src)=\"([^\"#]*)(#[^\"]*)?\"");
    for (const std::string& f : files) {
        if (f.size() < 5 || f.substr(f.size() - 5) != ".html") continue;
        const std::string html = ReadBytes(kHelp + f);
        ASSERT_FALSE(html.empty()) << f;
        for (auto it = std::sregex_iterator(html.begin(), html.end(), link);
             it != std::sregex_iterator(); ++it) {
            const std::string target = (*it)[2].str();
            if (target.empty()) continue;  // a link within the page
            EXPECT_TRUE(files.count(target)) << f << " links to " << target;
            const std::string anchor = (*it)[3].str();
            if (!anchor.empty()) {
                EXPECT_NE(ReadBytes(kHelp + target).find("id=\"" + anchor.substr(1) + "\""),
                          std::string::npos)
                    << f << " links to " << target << anchor;
            }
        }
    }
}

TEST(HelpPagesTest, TheCommandLinesPageListsTheExitCodesTheProgramHas) {
    // The page this build ships, made for its system.
    const std::string page = ReadBytes(std::string(KV_BIN_DIR) + "/help/prikazovy-radek.html");
    ASSERT_FALSE(page.empty());
    const std::string table = kv::cli::ExitCodeTable();
    std::set<std::string> program;
    const std::regex code("(^|\n) *([0-9]+)  ");
    for (auto it = std::sregex_iterator(table.begin(), table.end(), code);
         it != std::sregex_iterator(); ++it)
        program.insert((*it)[2].str());
    std::set<std::string> help;
    const std::regex row("<tr><td>([0-9]+)</td>");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), row);
         it != std::sregex_iterator(); ++it)
        help.insert((*it)[1].str());
    EXPECT_GE(program.size(), 8u) << table;
    EXPECT_EQ(help, program);
}

}  // namespace
