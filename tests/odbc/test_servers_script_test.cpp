// scripts/test-servers stop, with stand-in processes in place of the servers: what it signals, what it
// leaves alone, and that a copy of the script changing under a running stop does not break it.

#include "common/test_files.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string Script = KORVISTA_SOURCE_DIR "/scripts/test-servers";

// A process that stands in for a server: its command line names `marker`, and SIGINT or SIGTERM ends it
// after `exitDelay`. A thread reaps it, so that an ended stand-in is really gone.
class StandIn {
public:
    StandIn(const std::string& marker, const std::string& exitDelay = "0") {
        const std::string body =
            "trap 'sleep " + exitDelay + "; exit 0' INT TERM; while :; do sleep 0.05; done";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            ::execl("/bin/bash", "bash", "-c", body.c_str(), "stand-in", marker.c_str(), nullptr);
            ::_exit(127);
        }
        reaper_ = std::thread([this] {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            exited_ = true;
        });
        std::this_thread::sleep_for(100ms); // the trap is set
    }
    ~StandIn() {
        if (!exited_)
            ::kill(pid_, SIGKILL);
        reaper_.join();
    }
    pid_t Pid() const { return pid_; }
    bool Running() const { return !exited_; }

private:
    pid_t pid_ = -1;
    std::atomic<bool> exited_{false};
    std::thread reaper_;
};

using korvista::testfiles::ReadFile;

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class TestServersStop : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "korvista-servers.XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        serversDir_ = pattern;
        work_ = fs::temp_directory_path() / ("korvista-stop-test." + std::to_string(::getpid()));
        fs::create_directories(work_);
        envFile_ = work_ / "servers.env";
    }
    void TearDown() override {
        fs::remove_all(serversDir_);
        fs::remove_all(work_);
    }

    // Runs the script's stop; gives its exit status and keeps its standard error.
    int Stop(const std::string& script = Script) {
        const std::string command = "'" + script + "' stop '" + envFile_.string() + "' >'" +
                                    (work_ / "out").string() + "' 2>'" + (work_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        err_ = ReadFile(work_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path serversDir_, work_, envFile_;
    std::string err_;
};

TEST_F(TestServersStop, SignalsOnlyProcessesOfItsOwnServersFolder) {
    StandIn pg((serversDir_ / "pg/data").string());
    StandIn mariadb("--datadir=" + (serversDir_ / "mariadb/data").string());
    // A process id that a finished run recorded and the system has since given to someone else.
    StandIn stranger("/srv/unrelated");
    Write(envFile_, "SERVERS_DIR=" + serversDir_.string() + "\nPG_PID=" + std::to_string(pg.Pid()) +
                        "\nMARIADB_PID=" + std::to_string(stranger.Pid()) + "\n");

    EXPECT_EQ(Stop(), 0) << err_;
    EXPECT_EQ(err_, "");
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(pg.Running());
    EXPECT_TRUE(stranger.Running());
    EXPECT_TRUE(mariadb.Running()) << "not named by the file, and its pid file is absent";
    EXPECT_FALSE(fs::exists(serversDir_));
    EXPECT_FALSE(fs::exists(envFile_));
}

TEST_F(TestServersStop, FindsTheServersOfAnInterruptedStartByTheirPidFiles) {
    StandIn pg((serversDir_ / "pg/data").string());
    StandIn mariadb("--datadir=" + (serversDir_ / "mariadb/data").string());
    Write(serversDir_ / "pg/data/postmaster.pid",
          std::to_string(pg.Pid()) + "\n" + serversDir_.string() + "/pg/data\n1700000000\n5432\n");
    Write(serversDir_ / "mariadb/mariadb.pid", std::to_string(mariadb.Pid()) + "\n");
    // All that a start killed before its servers answered has written.
    Write(envFile_, "SERVERS_DIR=" + serversDir_.string() + "\n");

    EXPECT_EQ(Stop(), 0) << err_;
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(pg.Running());
    EXPECT_FALSE(mariadb.Running());
    EXPECT_FALSE(fs::exists(serversDir_));
}

TEST_F(TestServersStop, ACopyOfTheScriptChangedWhileItRunsStillEndsCleanly) {
    const fs::path copy = work_ / "test-servers";
    fs::copy_file(Script, copy);
    StandIn pg((serversDir_ / "pg/data").string(), "1");
    Write(envFile_, "SERVERS_DIR=" + serversDir_.string() + "\nPG_PID=" + std::to_string(pg.Pid()) + "\n");

    // While stop waits for the stand-in, the file grows by a line that is no valid shell.
    std::thread edit([&] {
        std::this_thread::sleep_for(400ms);
        std::ofstream(copy, std::ios::app) << "    *) echo half an edit ;;\n";
    });
    const int status = Stop(copy.string());
    edit.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err_, "");
    EXPECT_FALSE(pg.Running());
}

TEST(TestServersScript, RefusesAWrongCommandLine) {
    EXPECT_NE(std::system(("'" + Script + "' restart x >/dev/null 2>&1").c_str()), 0);
    EXPECT_NE(std::system(("'" + Script + "' stop >/dev/null 2>&1").c_str()), 0);
}

} // namespace
