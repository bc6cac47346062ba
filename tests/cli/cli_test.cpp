// sendwell-cli run as a program, as cron or a pipeline runs it: each command's effect on the files and
// its exit code, --json read back, Ctrl+C during a run, the database lock, and no Qt in sight.
#include "cli/command.h"
#include "cli/terminal_progress.h"
#include "cli/terminal_prompt.h"
#include "core/base/dates.h"
#include "core/base/paths.h"
#include "core/base/settings.h"
#include "core/history/history_store.h"
#include "core/submit/engine_catalogue.h"
#include "core/urldb/add_command.h"
#include "core/urldb/database_file.h"
#include "core/urldb/database_lock.h"
#include "core/urldb/url_database.h"
#include "tests/support/engine_simulator.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"
#include "tests/support/temp_dir.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>

extern char** environ;

namespace sendwell {
namespace {

namespace fs = std::filesystem;

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// One run of the program in workDir, with no display of any kind in its environment.
class CliProcess {
public:
    CliProcess(const fs::path& workDir, const std::vector<std::string>& args)
        : outFile_(workDir.parent_path() / "stdout.txt"), errFile_(workDir.parent_path() / "stderr.txt") {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string_view entry(*e);
            if (!entry.starts_with("DISPLAY=") && !entry.starts_with("WAYLAND_DISPLAY=") &&
                !entry.starts_with("QT_QPA_PLATFORM=")) {
                env.emplace_back(entry);
            }
        }
        std::vector<std::string> argv{SENDWELL_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
        std::vector<char*> argp = Pointers(argv);
        std::vector<char*> envp = Pointers(env);
        if (posix_spawn(&pid_, SENDWELL_CLI_PATH, &actions, nullptr, argp.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }

    void Interrupt() { ::kill(pid_, SIGINT); }

    CliResult Wait() {
        CliResult result;
        int status = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        pid_ = -1;
        result.out = test::ReadFileBytes(outFile_);
        result.err = test::ReadFileBytes(errFile_);
        return result;
    }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& texts) {
        std::vector<char*> out;
        for (std::string& t : texts) {
            out.push_back(t.data());
        }
        out.push_back(nullptr);
        return out;
    }

    fs::path outFile_, errFile_;
    pid_t pid_ = -1;
};

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(work_); }

    CliResult Run(const std::vector<std::string>& args) { return CliProcess(work_, args).Wait(); }

    std::string DatabaseBytes() const { return test::ReadFileBytes(DefaultDatabasePath()); }
    void WriteDatabase(const std::string& bytes) const {
        fs::create_directories(DefaultDatabasePath().parent_path());
        test::WriteFileBytes(DefaultDatabasePath(), bytes);
    }

    test::TempDir dir_;
    test::ScopedXdgHome home_{dir_ / "home"};
    fs::path work_ = dir_ / "work";
};

TEST_F(CliTest, DatabaseCommandsChangeTheFileAsTheWindowsCommandsDo) {
    EXPECT_EQ(Run({"email", "me@example.test"}).exitCode, 0);
    CliResult added = Run({"--json", "add", "www.a.test", "https://b.test/x", "#www.c.test"});
    EXPECT_EQ(added.exitCode, 0) << added.err;
    nlohmann::json doc = nlohmann::json::parse(added.out);
    ASSERT_EQ(doc["added"].size(), 3u);
    EXPECT_EQ(doc["added"][0]["url"], "http://www.a.test");
    EXPECT_EQ(doc["added"][2]["number"], 3);

    test::WriteFileBytes(work_ / "list.txt",
                         "http://d.test, junk, www.e.test\r\nno address here\nwww.f.test");
    EXPECT_EQ(Run({"import", "list.txt"}).exitCode, 0);
    CliResult removed = Run({"remove", "2", "http://www.c.test"});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    EXPECT_EQ(removed.out, "removed #2 https://b.test/x\nremoved #3 http://www.c.test\n");

    EXPECT_EQ(DatabaseBytes(),
              "http://www.a.test\r\n\r\n0\r\nhttp://d.test\r\n\r\n0\r\nhttp://www.e.test\r\n\r\n0\r\n"
              "http://www.f.test\r\n\r\n0\r\nEOS\r\nme@example.test\r\n");

    CliResult listed = Run({"list", "--json"});
    ASSERT_EQ(listed.exitCode, 0);
    doc = nlohmann::json::parse(listed.out);
    EXPECT_EQ(doc["email"], "me@example.test");
    ASSERT_EQ(doc["urls"].size(), 4u);
    EXPECT_EQ(
        doc["urls"][3],
        (nlohmann::json{{"number", 4}, {"url", "http://www.f.test"}, {"last_sent", ""}, {"submits", "0"}}));
    EXPECT_EQ(Run({"email"}).out, "me@example.test\n");
}

TEST_F(CliTest, SitemapImportSkipsKnownAddressesAndExportReadsBack) {
    WriteDatabase("http://a.test/\r\n03/05/2024\r\n1\r\nEOS\r\n\r\n");
    test::WriteFileBytes(work_ / "robots.txt", "Sitemap: sitemap.xml\n");
    test::WriteFileBytes(
        work_ / "sitemap.xml",
        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>http://a.test/"
        "</loc></url><url><loc>http://b.test/</loc></url></urlset>");
    CliResult imported = Run({"sitemap", "import", "robots.txt", "--json"});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    nlohmann::json doc = nlohmann::json::parse(imported.out);
    ASSERT_EQ(doc["added"].size(), 1u);
    EXPECT_EQ(doc["added"][0]["url"], "http://b.test/");
    EXPECT_EQ(doc["skipped"], 1);

    const std::string before = DatabaseBytes();
    test::WriteFileBytes(work_ / "bad.xml", "<urlset><url>");
    CliResult bad = Run({"sitemap", "import", "bad.xml"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("bad.xml is not well-formed XML"), std::string::npos) << bad.err;
    EXPECT_EQ(DatabaseBytes(), before);

    CliResult exported = Run({"sitemap", "export", "out.xml"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out, "wrote 2 addresses to out.xml\n");
    const std::string xml = test::ReadFileBytes(work_ / "out.xml");
    EXPECT_NE(xml.find("<loc>http://a.test/</loc>\n    <lastmod>2024-03-05</lastmod>"), std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<loc>http://b.test/</loc>\n  </url>"), std::string::npos) << xml;
}

TEST_F(CliTest, UsageErrorsExitTwoAndLeaveTheFileAsItWas) {
    WriteDatabase("http://a.test\r\n\r\n0\r\nEOS\r\nme@example.test\r\n");
    const std::string before = DatabaseBytes();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"add", "nodot"},
        {"add", "www.fine.test", "ab"},
        {"remove", "#2"},
        {"remove", "http://absent.test"},
        {"import", "no-such-file.txt"},
        {"engines", "--enable", "Nope"},
        {"engines", "--enable", "2", "--disable", "Google"},
        {"submit"},
        {"submit", "--all", "http://a.test"},
        {"submit", "--all", "--keep-answers", "--clear-answers"},
        {"submit", "--all", "--engines", "27"},
        {"schedule", "add", "bad name", "--every", "daily", "--", "status", "--all"},
        {"schedule", "remove", "absent"},
    };
    for (const std::vector<std::string>& args : cases) {
        CliResult result = Run(args);
        std::string command;
        for (const std::string& a : args) {
            command += a + " ";
        }
        EXPECT_EQ(result.exitCode, 2) << command << "\n" << result.err;
        EXPECT_FALSE(result.err.empty()) << command;
    }
    EXPECT_EQ(DatabaseBytes(), before);
    EXPECT_NE(Run({"add", "nodot"}).err.find(kInvalidUrlText), std::string::npos);

    // Nothing to submit: the run's own checks refuse it, and say why.
    WriteDatabase("http://a.test\r\n\r\n0\r\nEOS\r\n\r\n");
    CliResult refused = Run({"submit", "--all"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("Please enter an email address."), std::string::npos) << refused.err;
}

TEST_F(CliTest, HistoryShowsRunsARunsRequestsAndAnAddressOverTime) {
    for (std::int64_t started : {1772323200 /* 2026-03-01 */, 1788220800 /* 2026-09-01 */}) {
        HistoryRecorder recorder(DefaultHistoryPath(), RunKind::IndexNow, started);
        RequestRecord request;
        request.address = "http://a.test/";
        request.channel = "IndexNow";
        request.httpStatus = 202;
        request.at = started;
        recorder.Add(request);
        ASSERT_TRUE(recorder.Finish(started + 1, false, {1, 1, 0}).ok());
    }
    const CliResult runs = Run({"--json", "history"});
    ASSERT_EQ(runs.exitCode, 0) << runs.err;
    const nlohmann::json list = nlohmann::json::parse(runs.out)["runs"];
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["started"], "2026-09-01T00:00:00Z");
    EXPECT_EQ(list[0]["kind"], "indexnow");

    const CliResult one = Run({"--json", "history", "--run", std::to_string(list[1]["id"].get<int>())});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(nlohmann::json::parse(one.out)["requests"][0]["http_status"], 202);

    const CliResult since = Run({"history", "--address", "http://a.test/", "--since", "2026-06-01"});
    ASSERT_EQ(since.exitCode, 0) << since.err;
    EXPECT_EQ(std::count(since.out.begin(), since.out.end(), '\n'), 1) << since.out;
    EXPECT_EQ(Run({"history", "--since", "2026-02-30"}).exitCode, 2);
}

TEST_F(CliTest, ADatabaseThatCannotBeReadExitsThree) {
    fs::create_directories(DefaultDatabasePath()); // a folder where the file should be
    CliResult result = Run({"list"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("could not be read"), std::string::npos) << result.err;
}

TEST_F(CliTest, HelpAndVersionNeedNoDatabase) {
    CliResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("3.81"), std::string::npos);
    CliResult help = Run({"submit", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--clear-answers"), std::string::npos);
    EXPECT_FALSE(fs::exists(DefaultDatabasePath()));
}

TEST_F(CliTest, EnginesAreSwitchedByNameOrNumber) {
    CliResult result = Run({"--json", "engines", "--disable", "google,Scrub The Web", "--disable", "26"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadSetting(kSettingsSection, "m_Google"), "0");
    EXPECT_EQ(ReadSetting(kSettingsSection, "m_Scrub"), "0");
    EXPECT_EQ(ReadSetting(kSettingsSection, "m_Findonce"), "0");
    EXPECT_EQ(ReadSetting(kSettingsSection, "m_Burf"), ""); // untouched
    nlohmann::json engines = nlohmann::json::parse(result.out)["engines"];
    ASSERT_EQ(engines.size(), 26u);
    EXPECT_EQ(engines[1]["name"], "Google");
    EXPECT_FALSE(engines[1]["enabled"]);
    EXPECT_TRUE(engines[2]["enabled"]);

    EXPECT_EQ(Run({"engines", "--enable", "2"}).exitCode, 0);
    EXPECT_EQ(ReadSetting(kSettingsSection, "m_Google"), "1");
}

class CliSubmitTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        engines_.PointEnginesHere();
        WriteDatabase(
            "http://one.test/\r\n\r\n0\r\nhttp://two.test/\r\n01/02/2003\r\n7\r\nEOS\r\nme@example.test\r\n");
    }

    test::EngineSimulator engines_;
};

TEST_F(CliSubmitTest, SubmitAllReportsEveryRequestAsJsonLinesAndMarksEveryRow) {
    WriteSetting(kSettingsSection, "Host.Engine03",
                 "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()));
    CliResult result = Run({"submit", "--all", "--json"});

    EXPECT_EQ(result.exitCode, 1) << result.err; // engine 3 could not be reached
    std::vector<nlohmann::json> lines = JsonLines(result.out);
    ASSERT_EQ(lines.size(), 52u);
    EXPECT_EQ(engines_.RequestCount(), 50u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const nlohmann::json& line = lines[i];
        const int engine = static_cast<int>(i % 26) + 1;
        EXPECT_EQ(line["address"], i < 26 ? "http://one.test/" : "http://two.test/");
        EXPECT_EQ(line["engine"], EngineAt(engine).displayName);
        EXPECT_EQ(line["failed"], engine == 3) << engine;
        EXPECT_EQ(line["time"].get<std::string>().size(), 20u);
        if (engine != 3) {
            EXPECT_TRUE(fs::exists(line["answer_file"].get<std::string>())) << line;
        }
    }
    EXPECT_EQ(lines[1]["result"], "OK");
    EXPECT_TRUE(fs::exists(work_ / "msg_dump.txt"));
    EXPECT_EQ(DatabaseBytes(), "http://one.test/\r\n" + TodayText() + "\r\n1\r\nhttp://two.test/\r\n" +
                                   TodayText() + "\r\n8\r\nEOS\r\nme@example.test\r\n");

    // Submit for one row, one engine: the review's OK clears the answers and the failure log.
    result = Run({"submit", "--engines", "Google", "#2", "--clear-answers"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(engines_.RequestCount(), 51u);
    EXPECT_EQ(result.out, "http://two.test/  Google  OK\n");
    EXPECT_NE(DatabaseBytes().find("http://two.test/\r\n" + TodayText() + "\r\n9\r\n"), std::string::npos);
    EXPECT_NE(DatabaseBytes().find("http://one.test/\r\n" + TodayText() + "\r\n1\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(work_ / "submitok"));
    EXPECT_FALSE(fs::exists(work_ / "msg_dump.txt"));
}

TEST_F(CliSubmitTest, CtrlCLetsTheRequestInProgressFinishMarksTheRowsAndExits130) {
    engines_.HoldAnswers(1);
    CliProcess run(work_, {"submit", "--all", "--json"});
    ASSERT_TRUE(engines_.server().WaitForRequests(1));
    run.Interrupt();
    engines_.ReleaseHeldAnswers();
    CliResult result = run.Wait();

    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_EQ(engines_.RequestCount(), 1u);
    EXPECT_EQ(JsonLines(result.out).size(), 1u);
    EXPECT_NE(result.err.find("Cancelled after 1 of 52 requests"), std::string::npos) << result.err;
    EXPECT_NE(DatabaseBytes().find("http://two.test/\r\n" + TodayText() + "\r\n8\r\n"), std::string::npos);
}

TEST_F(CliTest, IndexNowKeyAndSubmitLeaveUnchangedContentOutUnlessForced) {
    test::HttpTestServer server;
    server.Route("/indexnow", test::Response(202));
    server.SetHandler(test::Always(test::Response(200, "page", {{"ETag", "\"1\""}})));
    WriteSetting(kSettingsSection, "Host.IndexNow", server.Url("/indexnow"));
    EXPECT_EQ(Run({"indexnow", "submit", "--all"}).exitCode, 2); // no key yet

    CliResult result = Run({"indexnow", "key", "--generate", "--write", ".", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string key = nlohmann::json::parse(result.out)["key"];
    EXPECT_EQ(test::ReadFileBytes(work_ / (key + ".txt")), key);
    EXPECT_EQ(Run({"indexnow", "key", "--set", "no_good"}).exitCode, 2);
    EXPECT_EQ(Run({"indexnow", "key"}).out, key + "\n");

    const std::string page = server.Url("/page");
    const std::vector<std::pair<std::vector<std::string>, std::size_t>> runs = {
        {{"indexnow", "submit", page, "--json"}, 1},
        {{"indexnow", "submit", page}, 1},
        {{"indexnow", "submit", page, "--force"}, 2}};
    std::vector<std::string> outs;
    for (const auto& [args, posts] : runs) {
        result = Run(args);
        outs.push_back(result.out);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::size_t sent = 0;
        for (const auto& r : server.Requests()) {
            sent += r.method == "POST" ? 1 : 0;
        }
        EXPECT_EQ(sent, posts);
    }
    EXPECT_EQ(JsonLines(outs[0]).at(0)["result"], "received, key check pending");
    EXPECT_EQ(outs[1], "");
    EXPECT_EQ(outs[2], server.HostPort() + "  1 address  202  received, key check pending\n");

    // A record that cannot be saved (neither in the history nor in the old file) is a failure of the
    // run, not a silent success; the history says once that it could not be written.
    const fs::path state = DefaultDatabasePath().parent_path() / "indexnow-state.json";
    fs::remove(state);
    fs::create_directories(state);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::remove(fs::path(DefaultHistoryPath()).concat(suffix));
    }
    fs::create_directories(DefaultHistoryPath());
    result = Run({"indexnow", "submit", page, "--force"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find(state.string() + " is a folder"), std::string::npos) << result.err;
    const std::size_t said = result.err.find("The history could not be written: ");
    EXPECT_NE(said, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("The history could not be written: ", said + 1), std::string::npos);
}

TEST_F(CliTest, IndexNowSendsTheSitemapsAddressesChangedSinceADateOrTheLastRun) {
    test::HttpTestServer server;
    server.Route("/indexnow", test::Response(200));
    server.SetHandler(test::Always(test::Response(200, "page")));
    WriteSetting(kSettingsSection, "Host.IndexNow", server.Url("/indexnow"));
    ASSERT_EQ(Run({"indexnow", "key", "--generate"}).exitCode, 0);
    const std::vector<std::string> pages = {server.Url("/old"), server.Url("/new"), server.Url("/newer")};
    test::WriteFileBytes(work_ / "sitemap.xml",
                         "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>" +
                             pages[0] + "</loc><lastmod>2026-05-01</lastmod></url><url><loc>" + pages[1] +
                             "</loc><lastmod>2026-06-02</lastmod></url><url><loc>" + pages[2] +
                             "</loc><lastmod>2026-07-01T10:00:00Z</lastmod></url></urlset>");
    auto posts = [&] {
        std::vector<nlohmann::json> bodies;
        for (const auto& r : server.Requests()) {
            if (r.method == "POST") {
                bodies.push_back(nlohmann::json::parse(r.body));
            }
        }
        return bodies;
    };
    const std::vector<std::string> submit = {"indexnow", "submit", "--sitemap", "sitemap.xml",
                                             "--changed-since"};
    auto with = [&](const char* since) {
        std::vector<std::string> args = submit;
        args.push_back(since);
        return args;
    };
    CliResult result = Run(with("2026-06-01"));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(posts().size(), 1u) << result.err;
    EXPECT_EQ(posts()[0]["urlList"], nlohmann::json(std::vector<std::string>{pages[1], pages[2]}));
    // Nothing in the sitemap is newer than the submission just accepted.
    result = Run(with("last-run"));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("lists 3 addresses; 0 changed"), std::string::npos) << result.err;
    EXPECT_EQ(posts().size(), 1u);
    EXPECT_EQ(Run(with("someday")).exitCode, 2);
    EXPECT_EQ(Run({"indexnow", "submit", "--changed-since", "last-run", pages[0]}).exitCode, 2);
}

TEST_F(CliTest, StatusChecksManyAddressesInTheOrderGivenAndExitsOneOnAnyFailure) {
    test::HttpTestServer server;
    server.Route("/ok", test::Response(200, "body"));
    server.Route("/gone", test::Response(404));
    server.Route("/moved", test::Redirect(302, server.Url("/ok")));
    WriteDatabase("http://" + server.HostPort() + "/gone\r\n\r\n0\r\n" + server.Url("/ok") +
                  "\r\n\r\n0\r\nEOS\r\n\r\n");

    // The Ping's line for one address, the time after it, and where a redirect led.
    CliResult one = Run({"status", server.HostPort() + "/moved", "#2"});
    EXPECT_EQ(one.exitCode, 0) << one.err;
    std::istringstream lines(one.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_TRUE(line.starts_with(server.HostPort() + "/moved  200  Success: URL OK  ")) << line;
    EXPECT_TRUE(line.ends_with(" ms  -> " + server.Url("/ok"))) << line;
    std::getline(lines, line);
    EXPECT_TRUE(line.starts_with(server.Url("/ok") + "  200  Success: URL OK  ")) << line;
    EXPECT_TRUE(line.ends_with(" ms")) << line;

    CliResult all = Run({"status", "--all", "--format", "junit", "--concurrency", "1", "--per-host", "1"});
    EXPECT_EQ(all.exitCode, 1) << all.err;
    EXPECT_NE(all.out.find("tests=\"2\" failures=\"1\""), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("<failure message=\"404 Request Error: Requested URL not found\""),
              std::string::npos);

    CliResult json = Run({"--json", "status", "http://", server.Url("/ok")});
    EXPECT_EQ(json.exitCode, 1) << json.err;
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    ASSERT_EQ(doc["status"].size(), 2u);
    EXPECT_EQ(doc["status"][0]["code"], -1);
    EXPECT_EQ(doc["status"][0]["text"], "Error: Invalid URL");
    EXPECT_EQ(doc["status"][1]["failed"], false);

    for (const std::vector<std::string>& usage :
         std::vector<std::vector<std::string>>{{"status"},
                                               {"status", "--all", "a.test"},
                                               {"status", "--concurrency", "0", "a.test"},
                                               {"status", "--format", "xml", "a.test"},
                                               {"--json", "status", "--format", "csv", "a.test"}}) {
        EXPECT_EQ(Run(usage).exitCode, 2) << usage.back();
    }
}

TEST_F(CliTest, AuditWritesItsReportAndExitsByTheWorstFinding) {
    test::HttpTestServer server;
    server.Route("/", test::Response(200, "<title>A page that links to one gone</title><a href=/gone>x</a>",
                                     {{"Content-Type", "text/html"}}));
    WriteDatabase(server.Url("/") + "\r\n\r\n0\r\nEOS\r\n\r\n");

    // The broken link is an error: exit 1 by default, 0 when only notices would fail.
    const CliResult text = Run({"audit", "#1"});
    EXPECT_EQ(text.exitCode, 1) << text.err;
    EXPECT_NE(text.out.find("error  broken-link  (1)"), std::string::npos) << text.out;
    EXPECT_EQ(Run({"audit", server.Url("/"), "--fail-on", "never"}).exitCode, 0);

    const CliResult json = Run({"--json", "audit", "--all", "--fail-on", "never"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["pages"].size(), 2u);
    bool broken = false;
    for (const auto& issue : doc["issues"]) {
        broken = broken || (issue["check"] == "broken-link" && issue["related"] == server.Url("/gone"));
    }
    EXPECT_TRUE(broken) << json.out;

    // A report file is whole or not there at all.
    const CliResult csv =
        Run({"audit", server.Url("/"), "--format", "csv", "--output", (work_ / "a.csv").string()});
    EXPECT_EQ(csv.exitCode, 1) << csv.err;
    EXPECT_EQ(csv.out, "");
    EXPECT_TRUE(test::ReadFileBytes(work_ / "a.csv")
                    .starts_with("check,severity,category,address,detail,related\r\n"));
    fs::create_directories(work_ / "folder");
    const CliResult unwritable = Run({"audit", server.Url("/"), "--output", (work_ / "folder").string()});
    EXPECT_EQ(unwritable.exitCode, 3) << unwritable.err;
    EXPECT_TRUE(fs::is_empty(work_ / "folder"));

    for (const std::vector<std::string>& usage :
         std::vector<std::vector<std::string>>{{"audit"},
                                               {"audit", "--all", "a.test"},
                                               {"audit", "--format", "xml", "a.test"},
                                               {"audit", "--fail-on", "sometimes", "a.test"},
                                               {"audit", "--max-pages", "0", "a.test"},
                                               {"--json", "audit", "--format", "csv", "a.test"},
                                               {"audit", "http://[::1"}}) {
        EXPECT_EQ(Run(usage).exitCode, 2) << usage.back();
    }
}

TEST_F(CliTest, IndexNowRequestAcceptedAfterAWaitIsNoFailure) {
    test::HttpTestServer server;
    server.Route("/indexnow",
                 test::InTurn({test::Response(429, "", {{"Retry-After", "1"}}), test::Response(200)}));
    WriteSetting(kSettingsSection, "m_IndexNowKey", "0123456789abcdef");
    WriteSetting(kSettingsSection, "Host.IndexNow", server.Url("/indexnow"));
    const CliResult result = Run({"indexnow", "submit", server.Url("/page"), "--force"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("failed"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("1 addresses accepted"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(work_ / "msg_dump.txt"));
    EXPECT_EQ(server.RequestCount(), 2u);
}

TEST_F(CliTest, CtrlCEndsALongCommandWithExit130) {
    test::HttpTestServer server;
    test::ScriptedResponse stalled = test::Response(200, "late");
    stalled.delayBeforeHead = std::chrono::minutes(5); // woken when the server goes
    server.SetHandler(test::Always(stalled));
    WriteSetting(kSettingsSection, "m_IndexNowKey", "0123456789abcdef");
    WriteSetting(kSettingsSection, "Host.IndexNow", server.Url("/indexnow"));
    const std::vector<std::vector<std::string>> commands = {
        {"sitemap", "import", server.Url("/sitemap.xml")},
        {"indexnow", "submit", server.Url("/page")},
        {"status", server.Url("/")},
        {"audit", server.Url("/")},
    };
    for (const std::vector<std::string>& command : commands) {
        const std::size_t before = server.RequestCount();
        CliProcess run(work_, command);
        ASSERT_TRUE(server.WaitForRequests(before + 1)) << command[0];
        run.Interrupt();
        const CliResult result = run.Wait();
        EXPECT_EQ(result.exitCode, 130) << command[0] << ": " << result.err;
        EXPECT_NE(result.err.find("cancelling"), std::string::npos) << result.err;
    }
}

TEST_F(CliTest, WritersAreRefusedWhileTheWindowHoldsTheDatabaseAndReadersAreNot) {
    WriteDatabase("http://a.test\r\n\r\n0\r\nEOS\r\nme@example.test\r\n");
    DatabaseLock window;
    ASSERT_EQ(window.TryAcquire(DefaultDatabasePath(), kWindowHolder), LockResult::Acquired);

    for (const std::vector<std::string>& writer : std::vector<std::vector<std::string>>{
             {"add", "www.b.test"}, {"remove", "1"}, {"email", "new@example.test"}, {"submit", "--all"}}) {
        CliResult result = Run(writer);
        EXPECT_EQ(result.exitCode, 3) << writer[0];
        EXPECT_EQ(result.err,
                  "sendwell-cli: the URL database is open in Sendwell! Pro; close it or use the window\n");
    }
    EXPECT_EQ(DatabaseBytes(), "http://a.test\r\n\r\n0\r\nEOS\r\nme@example.test\r\n");
    EXPECT_EQ(Run({"list"}).exitCode, 0);
    EXPECT_EQ(Run({"email"}).out, "me@example.test\n");

    window.Release();

    // A holder that has not said who it is is not taken for the window.
    test::WriteFileBytes(DatabaseLockPath(DefaultDatabasePath()), "");
    const int unnamed = ::open(DatabaseLockPath(DefaultDatabasePath()).c_str(), O_RDWR);
    ASSERT_EQ(::flock(unnamed, LOCK_EX), 0);
    CliResult refused = Run({"add", "www.b.test"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(
        refused.err,
        "sendwell-cli: the URL database is in use by another program; try again when it has finished\n");
    ::close(unnamed);

    EXPECT_EQ(Run({"add", "www.b.test"}).exitCode, 0);
}

TEST(CliProgram, LinksNoQtLibrary) {
    FILE* pipe = ::popen((std::string("ldd ") + SENDWELL_CLI_PATH).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string libraries;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        libraries += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_NE(libraries.find("libcurl"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
}

TEST(CliProgress, TheLineShowsCountRateAndTimeLeftWithinTheWidth) {
    struct Case {
        std::size_t done, total;
        double elapsed;
        std::size_t width;
        std::string line;
    };
    const Case cases[] = {
        {0, 78, 0.0, 80, "[....................]  0/78  -/s  - left  Google"},
        {39, 78, 19.5, 80, "[##########..........]  39/78  2.0/s  0:20 left  Google"},
        {78, 78, 3900.0, 80, "[####################]  78/78  0.0/s  0:00 left  Google"},
        {1, 7200, 1.0, 80, "[....................]  1/7200  1.0/s  1:59:59 left  Google"},
        {0, 0, 0.0, 80, "[####################]  0/0  -/s  - left  Google"},
        {0, 78, 0.0, 21, "[..................."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cli::ProgressLine(c.done, c.total, c.elapsed, "Google", c.width), c.line);
    }
    // A cut never splits a character.
    EXPECT_EQ(cli::ProgressLine(0, 1, 0, "\xC3\xA9", 44), "[....................]  0/1  -/s  - left  ");
}

// A question is answered yes by --yes, asked when stdin is a terminal, and refused without one.
TEST(TerminalPromptTest, AnswersQuestionsFromTheFlagOrTheTerminal) {
    struct Case {
        const char* what;
        bool yes;
        bool terminal;
        const char* typed;
        bool answer;
    };
    const Case cases[] = {
        {"--yes without a terminal", true, false, "", true},
        {"no terminal: refused, nothing read", false, false, "y\n", false},
        {"y typed", false, true, "y\n", true},
        {"Enter alone", false, true, "\n", false},
        {"input ended", false, true, "", false},
    };
    for (const Case& c : cases) {
        std::ostringstream out, err;
        cli::Output output(out, err);
        output.setAssumeYes(c.yes);
        std::istringstream in(c.typed);
        cli::TerminalPrompt prompt(output, in, c.terminal);
        EXPECT_EQ(prompt.Confirm("Install the upgrade now?", "Upgrade"), c.answer) << c.what;
        EXPECT_TRUE(out.str().empty()) << c.what;
        if (!c.terminal) {
            EXPECT_EQ(in.tellg(), 0) << c.what;
        }
    }
}

// Credentials are read from a terminal only; messages go to stderr.
TEST(TerminalPromptTest, ReadsCredentialsOnlyFromATerminal) {
    std::ostringstream out, err;
    cli::Output output(out, err);
    std::istringstream typed("ann\nsecret\n");
    cli::TerminalPrompt terminal(output, typed, true);
    const std::optional<Credentials> given = terminal.AskCredentials("http://127.0.0.1/x", "Members");
    ASSERT_TRUE(given);
    EXPECT_EQ(given->user, "ann");
    EXPECT_EQ(given->password, "secret");
    EXPECT_EQ(err.str().find("secret"), std::string::npos);

    std::istringstream unread("ann\nsecret\n");
    cli::TerminalPrompt piped(output, unread, false);
    EXPECT_FALSE(piped.AskCredentials("http://127.0.0.1/x", ""));
    EXPECT_EQ(unread.tellg(), 0);

    piped.ShowMessage("Cannot open internet connection.", kAppCaption, MessageIcon::Warning);
    EXPECT_NE(err.str().find("sendwell-cli: Cannot open internet connection.\n"), std::string::npos);
    EXPECT_TRUE(out.str().empty());
}

} // namespace
} // namespace sendwell
