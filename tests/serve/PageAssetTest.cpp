// The page's files as built into k40ctl: every file the page names (in its
// HTML and in its scripts' imports) is there under that path, with its type;
// dygraphs without its source-map comment (its map is not built in, and a
// browser would ask for it); the policy allows the page's own files only.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "serve/PageAsset.h"

namespace {

std::string Text(const PageAsset& asset) {
    return std::string(reinterpret_cast<const char*>(asset.bytes), asset.size);
}

// Every match of the first group of pattern in text.
std::set<std::string> Named(const std::string& text, const char* pattern) {
    std::set<std::string> names;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re);
         it != std::sregex_iterator(); ++it) {
        names.insert((*it)[1].str());
    }
    return names;
}

TEST(PageAssetTest, EveryFileThePageNamesIsBuiltIn) {
    const PageAsset* index = FindPageAsset("/");
    ASSERT_NE(index, nullptr);
    EXPECT_STREQ(index->contentType, "text/html; charset=utf-8");
    const std::set<std::string> named =
        Named(Text(*index), R"re((?:src|href)="(/[^"#]*)")re");
    EXPECT_GE(named.size(), 5u);
    for (const std::string& path : named) {
        if (path.rfind("/api/", 0) == 0) {
            continue;  // the server's answers, not files (the CSV link)
        }
        const PageAsset* asset = FindPageAsset(path);
        ASSERT_NE(asset, nullptr) << path;
        EXPECT_GT(asset->size, 0u) << path;
    }
    // The modules, followed through their imports from main.js.
    std::set<std::string> seen;
    std::set<std::string> todo = {"/page/main.js"};
    while (!todo.empty()) {
        const std::string path = *todo.begin();
        todo.erase(todo.begin());
        seen.insert(path);
        const PageAsset* module = FindPageAsset(path);
        ASSERT_NE(module, nullptr) << path;
        EXPECT_STREQ(module->contentType, "text/javascript; charset=utf-8") << path;
        for (const std::string& name : Named(Text(*module), R"re(from "\./([a-z0-9]+\.js)")re")) {
            if (seen.count("/page/" + name) == 0) {
                todo.insert("/page/" + name);
            }
        }
    }
    EXPECT_GE(seen.size(), 8u);
}

TEST(PageAssetTest, DygraphsAndTheIcon) {
    const PageAsset* js = FindPageAsset("/page/dygraph.min.js");
    ASSERT_NE(js, nullptr);
    EXPECT_GT(js->size, 100000u);
    EXPECT_EQ(Text(*js).find("sourceMappingURL"), std::string::npos);
    EXPECT_EQ(Text(*js).rfind("/*! @license", 0), 0u);  // its licence comment kept
    const PageAsset* css = FindPageAsset("/page/dygraph.min.css");
    ASSERT_NE(css, nullptr);
    EXPECT_EQ(Text(*css).find("sourceMappingURL"), std::string::npos);
    const PageAsset* icon = FindPageAsset("/favicon.ico");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(Text(*icon).substr(0, 4), std::string("\0\0\1\0", 4));
    EXPECT_EQ(FindPageAsset("/page/dygraph.min.js.map"), nullptr);
    EXPECT_EQ(FindPageAsset("/page/"), nullptr);
    EXPECT_EQ(FindPageAsset("/index.html"), nullptr);
}

// An alert's runbook_url ends in /runbooks/en.html#ALERT or zh.html#ALERT:
// the pages, and every file they link to, are built in.
TEST(PageAssetTest, TheRunbooksAndWhatTheyLinkTo) {
    for (const char* path : {"/runbooks/", "/runbooks/en.html", "/runbooks/zh.html"}) {
        const PageAsset* page = FindPageAsset(path);
        ASSERT_NE(page, nullptr) << path;
        EXPECT_STREQ(page->contentType, "text/html; charset=utf-8");
        const std::set<std::string> named =
            Named(Text(*page), R"re((?:src|href)="([^"#]+)")re");
        EXPECT_GE(named.size(), 2u) << path;
        for (const std::string& name : named) {
            EXPECT_NE(FindPageAsset("/runbooks/" + name), nullptr) << path << ": " << name;
        }
    }
    EXPECT_NE(Text(*FindPageAsset("/runbooks/zh.html")).find("id=\"K40Down\""), std::string::npos);
}

TEST(PageAssetTest, ThePolicyAllowsThePageOwnFilesOnly) {
    const std::string policy = PageSecurityPolicy();
    EXPECT_NE(policy.find("default-src 'self'"), std::string::npos);
    EXPECT_NE(policy.find("script-src 'self';"), std::string::npos);
    EXPECT_NE(policy.find("frame-ancestors 'none'"), std::string::npos);
    EXPECT_EQ(policy.find("unsafe-eval"), std::string::npos);
    EXPECT_EQ(policy.find("script-src 'self' 'unsafe-inline'"), std::string::npos);
}

}  // namespace
