// Downloading and installing an upgrade against a loopback server: what reaches the target file, what
// the progress line says, and which programs run in which order, only for a download that can be trusted.
#include "core/upgrade/installer_download.h"
#include "core/upgrade/upgrade_install.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"
#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace sendwell {
namespace {

namespace fs = std::filesystem;
using test::HttpTestServer;
using test::Response;
using test::ScriptedResponse;
using ::testing::ElementsAre;

// SHA-256 of "abc".
const char* const kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

struct Shown : MessageSink {
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
        texts.push_back(text);
    }
    std::vector<std::string> texts;
};

struct StubPrompt : CredentialsPrompt {
    std::optional<Credentials> AskCredentials(const std::string&, const std::string&) override {
        ++calls;
        return Credentials{"ann", "secret"};
    }
    int calls = 0;
};

// Binary bytes with zeros in them, and no "<html>".
std::string FileBytes(std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) {
        bytes.push_back(static_cast<char>(i % 251));
    }
    return bytes;
}

class Download : public ::testing::Test {
protected:
    DownloadResult Run(const std::string& address) {
        DownloadJob job{address, {}, target_, "vendor.test"};
        job.connection.caFile = caFile_;
        DownloadHooks hooks;
        hooks.progress = [this](const std::string& text) { progress_.push_back(text); };
        hooks.messages = &shown_;
        hooks.credentials = &prompt_;
        progress_.clear();
        return DownloadFile(job, hooks, [](const std::function<void()>& work) { std::thread(work).join(); });
    }

    test::TempDir dir_;
    fs::path target_ = dir_ / "NewUpdate.exe";
    std::string caFile_;
    std::vector<std::string> progress_;
    Shown shown_;
    StubPrompt prompt_;
};

TEST_F(Download, WritesTheWholeFileAndCountsTheBytesInBlocks) {
    HttpTestServer server;
    server.Route("/sized", Response(200, FileBytes(2100)));
    ScriptedResponse unsized = Response(200, FileBytes(1024));
    unsized.framing = ScriptedResponse::Framing::CloseDelimited;
    unsized.pieceSize = 100;
    server.Route("/unsized", unsized);

    DownloadResult result = Run(server.HostPort() + "/sized");
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.verifiedTls);
    EXPECT_EQ(test::ReadFileBytes(target_), FileBytes(2100));
    EXPECT_THAT(progress_, ElementsAre("Downloading update ..", "Read 1024/2100 bytes",
                                       "Read 2048/2100 bytes", "Read 2100/2100 bytes"));
    const test::RecordedRequest request = server.Requests()[0];
    EXPECT_EQ(request.target, "/sized");
    EXPECT_EQ(request.Header("User-Agent"), "vendor.test");
    EXPECT_EQ(request.Header("Accept"), std::nullopt);

    result = Run(server.Url("/unsized"));
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(test::ReadFileBytes(target_), FileBytes(1024));
    EXPECT_THAT(progress_, ElementsAre("Downloading update ..", "Read 1024 bytes"));
}

TEST_F(Download, LeavesNoFileWhenTheAnswerIsNotTheInstaller) {
    HttpTestServer server;
    server.Route("/page", Response(200, "<HTML><body>Server busy</body></HTML>"));
    server.Route("/late-page", Response(200, FileBytes(1024) + "<html>"));
    server.Route("/empty", Response(200, ""));
    server.Route("/missing", Response(404, FileBytes(10)));
    server.Route("/relative", test::Redirect(302, "/sized"));
    server.Route("/secure", test::Redirect(302, "https://127.0.0.1:1/x"));
    server.Route("/twice", test::Redirect(302, server.Url("/relative")));
    server.Route("/cut", [](const test::RecordedRequest&) {
        ScriptedResponse r = Response(200, FileBytes(5000));
        r.dropAfterBodyBytes = 2000;
        return r;
    });
    for (const char* path :
         {"/page", "/late-page", "/empty", "/missing", "/relative", "/secure", "/twice", "/cut"}) {
        test::WriteFileBytes(target_, "an older download");
        EXPECT_FALSE(Run(server.Url(path)).ok) << path;
        EXPECT_FALSE(fs::exists(target_)) << path;
    }
    EXPECT_TRUE(shown_.texts.empty());
}

TEST_F(Download, FollowsOneRedirectAndAsksOnceFor401) {
    HttpTestServer server;
    server.Route("/sized", Response(200, "abc"));
    server.Route("/moved", test::Redirect(302, server.Url("/sized")));
    server.Route("/locked", test::RequireBasicAuth("ann", "secret", test::Always(Response(200, "abc"))));
    EXPECT_TRUE(Run(server.Url("/moved")).ok);
    EXPECT_EQ(test::ReadFileBytes(target_), "abc");
    EXPECT_TRUE(Run(server.Url("/locked")).ok);
    EXPECT_EQ(prompt_.calls, 1);
    EXPECT_EQ(test::ReadFileBytes(target_), "abc");
}

TEST_F(Download, VerifiesHttpsCertificates) {
    HttpTestServer server(HttpTestServer::Options{.tls = true});
    server.SetHandler(test::Always(Response(200, "abc")));
    EXPECT_FALSE(Run(server.Url("/NewUpdate.exe")).ok);
    EXPECT_FALSE(fs::exists(target_));
    caFile_ = server.CaFile().string();
    const DownloadResult result = Run(server.Url("/NewUpdate.exe"));
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.verifiedTls);
}

TEST_F(Download, ConnectsDirectlyUnlessToldToUseTheProxy) {
    HttpTestServer server, proxy;
    server.SetHandler(test::Always(Response(200, "direct")));
    proxy.SetHandler(test::Always(Response(200, "proxied")));
    ::setenv("http_proxy", proxy.Url().c_str(), 1);
    EXPECT_TRUE(Run(server.Url("/f")).ok);
    ::setenv("http_proxy", "", 1);
    EXPECT_EQ(test::ReadFileBytes(target_), "direct");
    EXPECT_EQ(proxy.RequestCount(), 0u);

    DownloadJob job{server.Url("/f"), {}, target_, "vendor.test"};
    job.connection.useProxy = true;
    job.connection.proxyName = proxy.HostPort();
    EXPECT_TRUE(RunDownload(job, {}).ok);
    EXPECT_EQ(test::ReadFileBytes(target_), "proxied");
    EXPECT_EQ(proxy.Requests()[0].target, server.Url("/f"));
}

TEST_F(Download, ReportsATargetThatCannotBeCreated) {
    HttpTestServer server;
    server.SetHandler(test::Always(Response(200, "abc")));
    target_ = dir_ / "no-such-folder" / "NewUpdate.exe";
    EXPECT_FALSE(Run(server.Url("/f")).ok);
    ASSERT_EQ(shown_.texts.size(), 1u);
    EXPECT_THAT(shown_.texts[0], ::testing::StartsWith(target_.string() + ": "));
}

// Records what the install does, in order; runs "off-thread" work on a real thread.
class RecordingHooks : public InstallHooks {
public:
    explicit RecordingHooks(fs::path folder) : folder_(std::move(folder)) {}

    void RunOffThread(const std::function<void()>& work, const std::string& text) override {
        steps.push_back("window: " + text);
        std::thread(work).join();
    }
    void ShowProgress(const std::string&) override {}
    bool SaveBeforeUninstall() override {
        steps.push_back("save");
        return saves;
    }
    void RunProgram(const fs::path& program, const std::vector<std::string>& arguments) override {
        std::string step = "run " + program.lexically_relative(folder_).string();
        for (const std::string& a : arguments) {
            step += " [" + a + "]";
        }
        const fs::perms perms = fs::status(folder_ / kInstallerFile).permissions();
        step += (perms & fs::perms::owner_exec) != fs::perms::none ? " (installer executable)" : "";
        steps.push_back(step);
    }
    MessageSink& Messages() override { return shown; }
    CredentialsPrompt* Credentials() override { return nullptr; }

    bool saves = true;
    std::vector<std::string> steps;
    Shown shown;

private:
    fs::path folder_;
};

TEST(Install, RunsOnlyATrustedInstallerAfterSavingAndThenDeletesIt) {
    HttpTestServer plain;
    HttpTestServer secure(HttpTestServer::Options{.tls = true});
    plain.SetHandler(test::Always(Response(200, "abc")));
    secure.SetHandler(test::Always(Response(200, "abc")));
    const std::vector<std::string> installed = {
        "window: Downloading update ..", "save", "window: Removing old version ..",
        "run unins000.exe [ /SILENT] (installer executable)", "run NewUpdate.exe [] (installer executable)"};
    const std::vector<std::string> refused = {"window: Downloading update .."};
    struct Case {
        const char* name;
        std::string link;
        std::string digest;
        bool saves;
        InstallOutcome outcome;
        std::vector<std::string> steps;
        const char* message;
    };
    const Case cases[] = {
        {"plain http, no digest", plain.Url("/u"), "", true, InstallOutcome::Unverified, refused,
         kUnverifiedDownloadText},
        {"plain http, matching digest", plain.Url("/u"), kAbcDigest, true, InstallOutcome::Installed,
         installed, nullptr},
        {"verified https", secure.Url("/u"), "", true, InstallOutcome::Installed, installed, nullptr},
        {"https, other digest", secure.Url("/u"), std::string(64, '0'), true, InstallOutcome::Unverified,
         refused, kUnverifiedDownloadText},
        {"download fails", "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/u", kAbcDigest, true,
         InstallOutcome::DownloadFailed, refused, kDownloadFailedText},
        {"data not saved",
         plain.Url("/u"),
         kAbcDigest,
         false,
         InstallOutcome::NotSaved,
         {"window: Downloading update ..", "save"},
         nullptr},
    };
    for (const Case& c : cases) {
        test::TempDir folder;
        RecordingHooks hooks(folder.path());
        hooks.saves = c.saves;
        InstallRequest request{c.link, c.digest, folder.path(), {}, "vendor.test"};
        request.connection.caFile = secure.CaFile().string();
        EXPECT_EQ(InstallUpgrade(request, hooks), c.outcome) << c.name;
        EXPECT_EQ(hooks.steps, c.steps) << c.name;
        EXPECT_EQ(hooks.shown.texts,
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{})
            << c.name;
        EXPECT_FALSE(fs::exists(folder / kInstallerFile)) << c.name;
    }
}

} // namespace
} // namespace sendwell
