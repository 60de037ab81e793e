// The Prometheus file is replaced, never rewritten in place: a reader sees the
// old or the new text, and a failure leaves the old file and no temporary.
#include "cli/AtomicFile.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/k40atomic.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder_ = name;
        path_ = folder_ + "/k40.prom";
    }
    void TearDown() override {
        chmod(folder_.c_str(), 0700);
        for (const std::string& entry : Entries()) {
            const std::string p = folder_ + "/" + entry;
            if (rmdir(p.c_str()) != 0) {
                unlink(p.c_str());
            }
        }
        rmdir(folder_.c_str());
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(folder_.c_str())) {
            while (dirent* e = readdir(d)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..") {
                    names.push_back(n);
                }
            }
            closedir(d);
        }
        return names;
    }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string folder_, path_;
};

TEST_F(AtomicFile, ReplacesARegularFileWithMode0644) {
    const mode_t old = umask(077);  // the mode is set, not left to the umask
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path_, "k40_scans_total 1\n", &error)) << error;
    ASSERT_TRUE(WriteFileAtomically(path_, "k40_scans_total 2\n", &error)) << error;
    umask(old);
    EXPECT_EQ(Contents(), "k40_scans_total 2\n");
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(Entries(), std::vector<std::string>{"k40.prom"});  // no temporary left
}

TEST_F(AtomicFile, RefusesWhatIsNotARegularFile) {
    const std::string target = folder_ + "/target";
    std::ofstream(target) << "kept\n";
    struct Case {
        const char* what;
        int (*make)(const std::string& path, const std::string& target);
        mode_t type;
    } const cases[] = {
        {"folder", [](const std::string& p, const std::string&) { return mkdir(p.c_str(), 0755); },
         S_IFDIR},
        {"fifo", [](const std::string& p, const std::string&) { return mkfifo(p.c_str(), 0644); },
         S_IFIFO},
        {"symlink",
         [](const std::string& p, const std::string& t) { return symlink(t.c_str(), p.c_str()); },
         S_IFLNK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.make(path_, target), 0);
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(path_, "x\n", &error));
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
        struct stat st {};
        ASSERT_EQ(lstat(path_.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, c.type);
        EXPECT_EQ(Entries().size(), 2u);  // the thing and the target; no temporary
        if (rmdir(path_.c_str()) != 0) {
            unlink(path_.c_str());
        }
    }
}

TEST_F(AtomicFile, FailsCleanlyWhereItCannotWrite) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(folder_ + "/missing/k40.prom", "x\n", &error));
    EXPECT_FALSE(error.empty());

    // A read-only folder (root may write anyway; then this part proves nothing).
    ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
    if (access(folder_.c_str(), W_OK) != 0) {
        error.clear();
        EXPECT_FALSE(WriteFileAtomically(path_, "x\n", &error));
        EXPECT_NE(error.find("temporary"), std::string::npos) << error;
        EXPECT_TRUE(Entries().empty());
    }
    ASSERT_EQ(chmod(folder_.c_str(), 0700), 0);
}

TEST_F(AtomicFile, AWriteThatFailsLeavesTheOldFileAndNoTemporary) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path_, "old\n", &error)) << error;
    // A file size limit makes write(2) fail half way, as a full disk would,
    // whoever runs the test. In a child, so the limit stays there.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string why;
        const bool ok = WriteFileAtomically(path_, std::string(1000, 'x'), &why);
        _exit(!ok && why.find("cannot write") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Contents(), "old\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"k40.prom"});
}

}  // namespace
