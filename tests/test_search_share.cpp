// Share connection: CNet on the real test drives (Y: a network drive, X: a
// local disk where a connection attempt fails) and the console's
// ConnectShare on mnet and mncfg.
#include "consoletest.h"
#include "log.h"
#include "resource.h"

using namespace tu;

namespace {

class CNetTest : public ShareTest {
protected:
    std::string logpath;
    FILE* log = nullptr;
    void SetUp() override
    {
        ShareTest::SetUp();
        logpath = temp + "\\cnet.log";
        log = fopen(logpath.c_str(), "wt");
        ASSERT_NE(log, nullptr);
    }
    void TearDown() override
    {
        if (log) fclose(log);
        ShareTest::TearDown();
    }
    std::vector<std::string> lines() { return log_bodies(read_file(logpath)); }
};

TEST_F(CNetTest, NetworkDriveCountsAsConnectedWithoutAnAttempt)
{
    {
        CNet net(log);
        EXPECT_EQ(net.WNetAddConnection("\\\\srv\\pkgs", "Y:", "", ""), 0);
        EXPECT_STREQ(net.mdrive, "");
        EXPECT_EQ(net.WNetAddConnection("\\\\other\\share", "Y:", "admin", "secret"), 0);
        EXPECT_STREQ(net.mdrive, "");
    }
    // Creation and destruction only: no connection line, nothing cancelled.
    EXPECT_EQ(lines(), (std::vector<std::string>{"CNet::CNet () OK ...", "CNet::~CNet () OK ..."}));
}

TEST_F(CNetTest, LocalDriveFailsWithTheSystemError)
{
    struct Row {
        const char* what;
        const char* user;
        const char* pswd;
    } rows[] = {
        {"no user, password set", "", "secret"},
        {"user and password", "admin", "secret"},
        {"user, empty password", "admin", ""},
    };
    CNet net(log);
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(net.WNetAddConnection("\\\\srv\\pkgs", "X:", r.user, r.pswd), 1);
        EXPECT_STREQ(net.mdrive, "");
    }
    // No network under Wine: ERROR_NO_NETWORK.
    std::vector<std::string> l = lines();
    ASSERT_EQ(l.size(), 4u);
    for (int i = 1; i < 4; i++) EXPECT_EQ(l[i], "CNet::WNetAddConnection (X:) failed: 1222");
}

TEST_F(CNetTest, WithoutAStreamNothingIsWritten)
{
    {
        CNet net(nullptr);
        EXPECT_EQ(net.WNetAddConnection("\\\\srv\\pkgs", "X:", "", ""), 1);
    }
    EXPECT_TRUE(lines().empty());
}

// ---- ConnectShare -----------------------------------------------------

class ConnectShareTest : public ShareTest {
protected:
    void SetUp() override
    {
        ShareTest::SetUp();
        ZeroMemory(&mncfg, sizeof mncfg);
        mnet.mdrive[0] = 0;
    }
    void TearDown() override
    {
        ZeroMemory(&mncfg, sizeof mncfg);
        ShareTest::TearDown();
    }
    static void config(const char* uncp, const char* ndrv, const char* user = "", const char* pswd = "")
    {
        ZeroMemory(&mncfg, sizeof mncfg);
        snprintf(mncfg.uncp, sizeof mncfg.uncp, "%s", uncp);
        snprintf(mncfg.ndrv, sizeof mncfg.ndrv, "%s", ndrv);
        snprintf(mncfg.user, sizeof mncfg.user, "%s", user);
        snprintf(mncfg.pswd, sizeof mncfg.pswd, "%s", pswd);
    }
};

TEST_F(ConnectShareTest, Outcomes)
{
    struct Row {
        const char* what;
        const char* uncp;
        const char* ndrv;
        const char* user;
        int conn, fail;
    } rows[] = {
        {"network drive", "\\\\srv\\pkgs", "Y:", "", 1, 0},
        {"network drive, with an account", "\\\\srv\\pkgs", "Y:", "admin", 1, 0},
        {"local drive", "\\\\srv\\pkgs", "X:", "", 0, 1},
        {"local drive, with an account", "\\\\srv\\pkgs", "X:", "admin", 0, 1},
        {"no UNC path", "", "Y:", "", 0, 0},
        {"no drive", "\\\\srv\\pkgs", "", "", 0, 0},
        {"no UNC path, local drive", "", "X:", "", 0, 0},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        config(r.uncp, r.ndrv, r.user, "secret");
        ConnectShare();
        EXPECT_EQ(mncfg.conn, r.conn);
        EXPECT_EQ(mncfg.fail, r.fail);
        // Nothing is mapped, so nothing would be cancelled at exit.
        EXPECT_STREQ(mnet.mdrive, "");
        EXPECT_STREQ(status_text(), r.fail ? "Network error, check configuration!" : "Ready");
    }
}

TEST_F(ConnectShareTest, FailureIsRetriedSuccessIsNot)
{
    config("\\\\srv\\pkgs", "X:");
    ConnectShare();
    EXPECT_EQ(mncfg.fail, 1);
    EXPECT_EQ(mncfg.conn, 0);
    // The next call tries again: now the drive name is the network drive.
    snprintf(mncfg.ndrv, sizeof mncfg.ndrv, "Y:");
    ConnectShare();
    EXPECT_EQ(mncfg.conn, 1);
    EXPECT_EQ(mncfg.fail, 1) << "a later success leaves the failure for the settings to clear";
    // Once connected, no further attempt: even a drive that would fail
    // changes nothing.
    snprintf(mncfg.ndrv, sizeof mncfg.ndrv, "X:");
    mncfg.fail = 0;
    ConnectShare();
    EXPECT_EQ(mncfg.conn, 1);
    EXPECT_EQ(mncfg.fail, 0);
}

// ---- in the console ---------------------------------------------------

class ShareConsoleTest : public ConsoleTest {
protected:
    void settings(const char* uncp, const char* ndrv)
    {
        reg_set_str(NX_KEY, "uncp", uncp);
        reg_set_str(NX_KEY, "ndrv", ndrv);
    }
    std::vector<std::string> lines() { return log_bodies(log_text()); }
};

TEST_F(ShareConsoleTest, AdminOpenOnALocalDriveShowsTheNetworkError)
{
    settings("\\\\srv\\pkgs", "X:");
    start("/admin");
    EXPECT_STREQ(status_text(), "Ready");
    ModalAutomator modal;
    modal.Expect("Open", Press(IDCANCEL));
    command(CMD_OPENLIST);
    EXPECT_EQ(mncfg.fail, 1);
    EXPECT_EQ(mncfg.conn, 0);
    EXPECT_STREQ(status_text(), "Network error, check configuration!");
    // mnet has no log stream: the failure shows only in the band.
    for (auto& l : lines()) EXPECT_EQ(l.find("WNetAddConnection"), std::string::npos) << l;
}

TEST_F(ShareConsoleTest, AdminOpenOnTheNetworkDriveConnectsSilently)
{
    settings("\\\\srv\\pkgs", "Y:");
    start("/admin");
    ModalAutomator modal;
    modal.Expect("Open", Press(IDCANCEL));
    command(CMD_OPENLIST);
    EXPECT_EQ(mncfg.conn, 1);
    EXPECT_EQ(mncfg.fail, 0);
    EXPECT_STREQ(mnet.mdrive, "");
    EXPECT_STREQ(status_text(), "Ready");
    for (auto& l : lines()) EXPECT_EQ(l.find("CNet"), std::string::npos) << l;
}

}  // namespace
