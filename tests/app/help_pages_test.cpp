// The help pages the program opens: one for every module type's "Help...", the comment and
// build pages, all reachable from the contents page and with no link leading nowhere.
#include "model/catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace tw {
namespace {

namespace fs = std::filesystem;

fs::path HelpFolder() {
    return fs::path(TW_SOURCE_DIR) / "resources" / "Resources" / "help";
}

std::string Read(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The pages a page links to, without the part after '#'.
std::set<std::string> Links(const std::string& page) {
    std::set<std::string> links;
    const std::regex href(R"re(href="([^"#]*))re");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), href);
         it != std::sregex_iterator(); ++it)
        if (!(*it)[1].str().empty()) links.insert((*it)[1].str());
    return links;
}

TEST(HelpPages, EveryPageTheProgramOpensExistsAndTheContentsLinkIt) {
    const std::set<std::string> fromIndex = Links(Read(HelpFolder() / "index.htm"));
    std::set<std::string> opened = {"comment.htm", "build_plugin.htm"};
    for (const ModuleTypeInfo& type : ModuleTypes())
        if (type.helpPage != nullptr) opened.insert(type.helpPage);
    EXPECT_GT(opened.size(), 30u);
    for (const std::string& page : opened) {
        EXPECT_TRUE(fs::is_regular_file(HelpFolder() / page)) << page;
        EXPECT_TRUE(fromIndex.contains(page)) << page;
    }
}

TEST(HelpPages, EveryLinkLeadsToAPageAndEveryPageHasATitle) {
    int pages = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(HelpFolder())) {
        const std::string text = Read(entry.path());
        ++pages;
        EXPECT_NE(text.find("<title>"), std::string::npos) << entry.path();
        for (const std::string& link : Links(text))
            EXPECT_TRUE(fs::is_regular_file(HelpFolder() / link))
                << entry.path().filename() << " links to " << link;
    }
    EXPECT_GT(pages, 30);
}

} // namespace
} // namespace tw
