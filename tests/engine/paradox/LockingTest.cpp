// Two processes contend for one table: shared opens coexist, an exclusive open excludes all.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/core/Errors.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

// Runs a child that opens the table and holds it until told to let go.
class Holder {
  public:
    Holder(const std::string& path, bool exclusive) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            char c = 0;
            try {
                auto table = openParadox(path, exclusive);
                c = 1;
                (void)!write(ready[1], &c, 1);
                (void)!read(release[0], &c, 1);
            } catch (...) {
                (void)!write(ready[1], &c, 1);
            }
            _exit(0);
        }
        releaseFd_ = release[1];
        char c = 0;
        (void)!read(ready[0], &c, 1);
        opened_ = c == 1;
        close(ready[0]);
        close(ready[1]);
        close(release[0]);
    }
    ~Holder() {
        char c = 0;
        (void)!write(releaseFd_, &c, 1);
        close(releaseFd_);
        waitpid(pid_, nullptr, 0);
    }
    bool opened() const { return opened_; }

  private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool opened_ = false;
};

DBIResult openError(const std::string& path, bool exclusive) {
    try {
        openParadox(path, exclusive);
        return DBIERR_NONE;
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Table is busy"), std::string::npos);
        return e.errorCode();
    }
}

struct LockCase {
    const char* label;
    bool otherExclusive;
    bool ourExclusive;
    DBIResult expected;
};

class Contention : public ::testing::TestWithParam<LockCase> {};

TEST_P(Contention, FollowsTheOtherProcesssLock) {
    KX4_SKIP_WITHOUT_CORPUS();
    const auto& c = GetParam();
    TempDir dir;
    const std::string path = copyCorpusTable("paradox/paradoxdriver/db/AREACODE.DB", dir.path());
    {
        Holder other(path, c.otherExclusive);
        ASSERT_TRUE(other.opened());
        EXPECT_EQ(openError(path, c.ourExclusive), c.expected);
    }
    EXPECT_EQ(openError(path, true), DBIERR_NONE);
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, Contention,
    ::testing::Values(LockCase{"shared_shared", false, false, DBIERR_NONE},
                      LockCase{"shared_exclusive", false, true, DBIERR_TABLEINUSE},
                      LockCase{"exclusive_shared", true, false, DBIERR_FILELOCKED},
                      LockCase{"exclusive_exclusive", true, true, DBIERR_TABLEINUSE}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test
