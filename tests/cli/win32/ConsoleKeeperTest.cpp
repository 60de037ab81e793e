// The console as the user left it, over a fake console that records every
// change: put back after k40ctl's changes, once, on whichever path ends the
// program first (exit, Ctrl+C, an exception: each calls Restore), and never
// touched where nothing was changed.
#include <gtest/gtest.h>

#include <string>

#include "cli/win32/ConsoleKeeper.h"

namespace {

constexpr unsigned kGbk = 936;
constexpr unsigned kUtf8 = 65001;
constexpr std::uint32_t kVt = 0x4;  // virtual terminal processing
constexpr std::uint32_t kCooked = 0x3;

// A console whose settings a test chooses; every set is logged.
class FakeConsole : public ConsoleCalls {
public:
    unsigned page = kGbk;
    bool isConsole[2] = {true, true};
    std::uint32_t mode[2] = {kCooked, kCooked};
    bool refuse = false;  // every set fails, as on a console that cannot
    std::string sets;     // "page 65001; mode 0 7; ..."

    unsigned OutputCodePage() override { return page; }
    bool SetOutputCodePage(unsigned p) override {
        Log("page " + std::to_string(p));
        if (!refuse) {
            page = p;
        }
        return !refuse;
    }
    bool Mode(int stream, std::uint32_t& m) override {
        m = mode[stream];
        return isConsole[stream];
    }
    bool SetMode(int stream, std::uint32_t m) override {
        Log("mode " + std::to_string(stream) + " " + std::to_string(m));
        if (!refuse) {
            mode[stream] = m;
        }
        return !refuse;
    }

private:
    void Log(const std::string& set) { sets += (sets.empty() ? "" : "; ") + set; }
};

TEST(ConsoleKeeper, WhatWasChangedGoesBackOnceAndNothingElseIsTouched) {
    struct Case {
        const char* what;
        unsigned page;           // the user's code page (0: no console)
        bool isConsole;          // standard output and standard error
        std::uint32_t userMode;  // the user's mode of both
        bool refuse;
        bool stderrToo;    // the live view's sequences on standard error too
        const char* sets;  // every set, the keeper's then Restore's
    };
    const Case cases[] = {
        {"GBK console, live view on stdout", kGbk, true, kCooked, false, false,
         "page 65001; mode 0 7; mode 0 3; page 936"},
        {"both streams changed", kGbk, true, kCooked, false, true,
         "page 65001; mode 0 7; mode 1 7; mode 0 3; mode 1 3; page 936"},
        {"already UTF-8 with terminal sequences", kUtf8, true, 7, false, true, ""},
        {"output to a file or a pipe", kGbk, false, 0, false, true, "page 65001; page 936"},
        {"no console at all", 0, false, 0, false, true, ""},
        {"a console that refuses every change", kGbk, true, kCooked, true, false,
         "page 65001; mode 0 7; mode 0 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeConsole console;
        console.page = c.page;
        for (int s = 0; s < 2; ++s) {
            console.isConsole[s] = c.isConsole;
            console.mode[s] = c.userMode;
        }
        console.refuse = c.refuse;
        ConsoleKeeper keeper(console);
        keeper.UseOutputCodePage(kUtf8);
        keeper.UseModeFlags(0, kVt);
        if (c.stderrToo) {
            keeper.UseModeFlags(1, kVt);
        }
        keeper.UseModeFlags(0, kVt);  // asked again: already on
        keeper.Restore();             // Ctrl+C, an exception or exit
        keeper.Restore();             // the exit handlers after it
        EXPECT_EQ(console.sets, c.sets);
        EXPECT_EQ(console.page, c.page);
        EXPECT_EQ(console.mode[0], c.userMode);
        EXPECT_EQ(console.mode[1], c.userMode);
    }
}

TEST(ConsoleKeeper, TheLiveViewIsOfferedOnlyWhereTheConsoleShowsIt) {
    FakeConsole console;
    console.isConsole[1] = false;  // standard error to a file
    ConsoleKeeper keeper(console);
    EXPECT_TRUE(keeper.UseModeFlags(0, kVt));
    EXPECT_FALSE(keeper.UseModeFlags(1, kVt));
    console.refuse = true;  // an old console without terminal sequences
    console.mode[0] = kCooked;
    EXPECT_FALSE(keeper.UseModeFlags(0, kVt));
}

TEST(ConsoleKeeper, TheFirstCodePageIsTheOneRestored) {
    FakeConsole console;
    ConsoleKeeper keeper(console);
    keeper.UseOutputCodePage(kUtf8);
    keeper.UseOutputCodePage(437);
    keeper.Restore();
    EXPECT_EQ(console.page, kGbk);
}

}  // namespace
