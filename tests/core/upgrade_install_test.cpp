// Downloading and installing an upgrade against a loopback server: what reaches the target file, what
// the progress line says, and which programs run in which order, only for an installer a trusted key signed.
#include "core/base/sha256.h"
#include "core/base/unique_fd.h"
#include "core/upgrade/installer_download.h"
#include "core/upgrade/upgrade_install.h"
#include "core/upgrade/upgrade_page.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace sendwell {
namespace {

namespace fs = std::filesystem;
using test::HttpTestServer;
using test::Response;
using test::ScriptedResponse;
using ::testing::ElementsAre;

struct Shown : Prompt {
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
        texts.push_back(text);
    }
    std::vector<std::string> texts;
};

struct Said : Progress {
    void SetStatusText(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

struct StubPrompt : Prompt {
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
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
    // The target, empty and open for writing, as the install hands it over.
    UniqueFd OpenTarget() const {
        return UniqueFd(::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    }

    DownloadResult Run(const std::string& address) {
        UniqueFd target = OpenTarget();
        DownloadJob job{address, {}, target.get(), "vendor.test"};
        job.connection.caFile = caFile_;
        DownloadHooks hooks;
        hooks.progress = &said_;
        hooks.credentials = &prompt_;
        said_.texts.clear();
        DownloadResult result =
            DownloadFile(job, hooks, [](const std::function<void()>& work) { std::thread(work).join(); });
        if (!result.outcome.text.empty()) {
            shown_.texts.push_back(result.outcome.text);
        }
        return result;
    }

    test::TempDir dir_;
    fs::path target_ = dir_ / "NewUpdate.exe";
    std::string caFile_;
    Said said_;
    const std::vector<std::string>& progress_ = said_.texts;
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
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.bytes, 2100u);
    EXPECT_EQ(test::ReadFileBytes(target_), FileBytes(2100));
    EXPECT_THAT(progress_, ElementsAre("Downloading update ..", "Read 1024/2100 bytes",
                                       "Read 2048/2100 bytes", "Read 2100/2100 bytes"));
    const test::RecordedRequest request = server.Requests()[0];
    EXPECT_EQ(request.target, "/sized");
    EXPECT_EQ(request.Header("User-Agent"), "vendor.test");
    EXPECT_EQ(request.Header("Accept"), std::nullopt);

    result = Run(server.Url("/unsized"));
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(test::ReadFileBytes(target_), FileBytes(1024));
    EXPECT_THAT(progress_, ElementsAre("Downloading update ..", "Read 1024 bytes"));
}

TEST_F(Download, FailsWhenTheAnswerIsNotTheInstaller) {
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
        EXPECT_FALSE(Run(server.Url(path)).ok()) << path;
    }
    EXPECT_TRUE(shown_.texts.empty());
}

TEST_F(Download, FollowsOneRedirectAndAsksOnceFor401) {
    HttpTestServer server;
    server.Route("/sized", Response(200, "abc"));
    server.Route("/moved", test::Redirect(302, server.Url("/sized")));
    server.Route("/locked", test::RequireBasicAuth("ann", "secret", test::Always(Response(200, "abc"))));
    EXPECT_TRUE(Run(server.Url("/moved")).ok());
    EXPECT_EQ(test::ReadFileBytes(target_), "abc");
    EXPECT_TRUE(Run(server.Url("/locked")).ok());
    EXPECT_EQ(prompt_.calls, 1);
    EXPECT_EQ(test::ReadFileBytes(target_), "abc");
}

TEST_F(Download, VerifiesHttpsCertificates) {
    HttpTestServer server(HttpTestServer::Options{.tls = true});
    server.SetHandler(test::Always(Response(200, "abc")));
    EXPECT_FALSE(Run(server.Url("/NewUpdate.exe")).ok());
    caFile_ = server.CaFile().string();
    EXPECT_TRUE(Run(server.Url("/NewUpdate.exe")).ok());
}

TEST_F(Download, ConnectsDirectlyUnlessToldToUseTheProxy) {
    HttpTestServer server, proxy;
    server.SetHandler(test::Always(Response(200, "direct")));
    proxy.SetHandler(test::Always(Response(200, "proxied")));
    ::setenv("http_proxy", proxy.Url().c_str(), 1);
    EXPECT_TRUE(Run(server.Url("/f")).ok());
    ::setenv("http_proxy", "", 1);
    EXPECT_EQ(test::ReadFileBytes(target_), "direct");
    EXPECT_EQ(proxy.RequestCount(), 0u);

    UniqueFd target = OpenTarget();
    DownloadJob job{server.Url("/f"), {}, target.get(), "vendor.test"};
    job.connection.useProxy = true;
    job.connection.proxyName = proxy.HostPort();
    EXPECT_TRUE(RunDownload(job, {}).ok());
    EXPECT_EQ(test::ReadFileBytes(target_), "proxied");
    EXPECT_EQ(proxy.Requests()[0].target, server.Url("/f"));
}

// Writes each step of the install into the log the stand-in programs write to, so the log shows what
// ran and in which order; "off-thread" work runs on a real thread.
class RecordingHooks : public InstallHooks {
public:
    RecordingHooks(fs::path log, std::function<void()> beforeRun)
        : log_(std::move(log)), beforeRun_(std::move(beforeRun)) {}

    void RunOffThread(const std::function<void()>& work, const std::string&) override {
        std::thread(work).join();
    }
    Progress& DownloadProgress() override { return said; }
    bool SaveBeforeUninstall() override {
        test::WriteFileBytes(log_, test::ReadFileBytes(log_) + "save\n");
        if (beforeRun_) {
            beforeRun_();
        }
        return saves;
    }
    Prompt& UserPrompt() override { return shown; }

    bool saves = true;
    Said said;
    Shown shown;

private:
    fs::path log_;
    std::function<void()> beforeRun_;
};

// A stand-in program that notes its name, its first argument and how many it got.
std::string Script(const fs::path& log, const std::string& name) {
    return "#!/bin/sh\necho \"" + name + " [$1] $#\" >> '" + log.string() + "'\n";
}

void WriteProgram(const fs::path& file, const std::string& bytes) {
    test::WriteFileBytes(file, bytes);
    fs::permissions(file, fs::perms::owner_all);
}

class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const fs::path& folder) : old_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedWorkingFolder() { fs::current_path(old_); }
    ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
    ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

private:
    fs::path old_;
};

// The one folder an install has made in parent; empty when there is none.
fs::path UpgradeFolderIn(const fs::path& parent) {
    for (const fs::directory_entry& entry : fs::directory_iterator(parent)) {
        if (entry.path().filename().string().starts_with("upgrade-")) {
            return entry.path();
        }
    }
    return {};
}

TEST(Install, RunsOnlyAnInstallerATrustedKeySignedAndOnlyTheFileThatWasChecked) {
    test::TempDir root;
    ScopedWorkingFolder inRoot(root.path());
    const fs::path log = root / "ran.log";
    const fs::path parent = root / "data";
    const fs::path installFolder = root / "installed";
    fs::create_directories(installFolder);
    WriteProgram(installFolder / kUninstallerFile, Script(log, "uninstaller"));
    const std::string installer = Script(log, "installer");
    const test::SigningKey key, otherKey;

    HttpTestServer plain;
    HttpTestServer secure(HttpTestServer::Options{.tls = true});
    plain.Route("/NewUpdate.exe", Response(200, installer));
    plain.Route("/detached.exe", Response(200, installer));
    plain.Route("/detached.exe.sig", Response(200, key.Sign(installer)));
    plain.Route("/other-bytes.exe", Response(200, installer));
    plain.Route("/other-bytes.exe.sig", Response(200, key.Sign(installer + "\n")));
    secure.Route("/NewUpdate.exe", Response(200, installer));

    // The upgrade page's link part, with a signature line and a digest line when given.
    const auto page = [](const std::string& link, const std::string& signature, const std::string& digest) {
        std::vector<std::string> lines = {"<!-- UPGRADE Download Link -->", link};
        if (!signature.empty()) {
            lines.insert(lines.end(), {"<!-- UPGRADE Signature -->", test::Base64(signature)});
        }
        if (!digest.empty()) {
            lines.insert(lines.end(), {"<!-- UPGRADE SHA256 -->", digest});
        }
        return lines;
    };
    Sha256 sha;
    sha.Update(installer);
    const std::string digest = sha.Finish().value_or("");
    const std::string signature = key.Sign(installer);
    const std::string victim = (root / "victim").string();

    struct Case {
        const char* name;
        std::vector<std::string> page;
        std::vector<std::string> keys;
        InstallOutcome outcome;
        std::function<void()> plant = {};     // before the install starts
        std::function<void()> beforeRun = {}; // after the check, before anything runs
    };
    const std::string to = plain.Url("/NewUpdate.exe");
    const Case cases[] = {
        {"http page with a digest", page(to, "", digest), {key.PublicKey()}, InstallOutcome::Unverified},
        {"https link without a signature",
         page(secure.Url("/NewUpdate.exe"), "", ""),
         {key.PublicKey()},
         InstallOutcome::Unverified},
        {"signature by another key",
         page(to, otherKey.Sign(installer), ""),
         {key.PublicKey()},
         InstallOutcome::Unverified},
        {"detached signature of other bytes",
         page(plain.Url("/other-bytes.exe"), "", ""),
         {key.PublicKey()},
         InstallOutcome::Unverified},
        {"no usable key", page(to, signature, ""), {"", "not a key", digest}, InstallOutcome::NoKey},
        {"download fails",
         page("127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/u", signature, ""),
         {key.PublicKey()},
         InstallOutcome::DownloadFailed},
        {"data not saved", page(to, signature, ""), {key.PublicKey()}, InstallOutcome::NotSaved},
        {"signed on the page",
         page(to, signature, digest),
         {otherKey.PublicKey(), key.PublicKey()},
         InstallOutcome::Installed},
        {"signed beside the installer, key as DER",
         page(plain.Url("/detached.exe"), "", ""),
         {key.PublicKey(true)},
         InstallOutcome::Installed},
        {"file swapped between check and run",
         page(to, signature, ""),
         {key.PublicKey()},
         InstallOutcome::Installed,
         {},
         [&] {
             const fs::path folder = UpgradeFolderIn(parent);
             WriteProgram(folder / "swapped", Script(log, "swapped"));
             fs::rename(folder / "swapped", folder / kInstallerFile);
         }},
        {"planted symlink and uninstallers",
         page(to, signature, ""),
         {key.PublicKey()},
         InstallOutcome::Installed,
         [&] {
             test::WriteFileBytes(victim, "keep me");
             fs::create_symlink(victim, parent / kInstallerFile);
             WriteProgram(parent / kUninstallerFile, Script(log, "planted"));
             WriteProgram(kUninstallerFile, Script(log, "planted in the working folder"));
         }},
    };
    // Saved first; then the installed version's own uninstaller, and the checked installer once.
    const std::map<InstallOutcome, std::string> ran = {
        {InstallOutcome::Installed, "save\nuninstaller [ /SILENT] 1\ninstaller [] 1\n"},
        {InstallOutcome::NotSaved, "save\n"}};
    const std::map<InstallOutcome, std::string> message = {
        {InstallOutcome::Unverified, kUnverifiedDownloadText},
        {InstallOutcome::NoKey, kNoUpgradeKeyText},
        {InstallOutcome::DownloadFailed, kDownloadFailedText}};
    for (const Case& c : cases) {
        fs::remove_all(parent);
        fs::create_directories(parent);
        fs::remove(log);
        if (c.plant) {
            c.plant();
        }
        UpgradeAnnouncement announced;
        ReadUpgradePage(c.page, announced);
        InstallRequest request{announced.link, announced.signature, c.keys, parent, installFolder, {},
                               "vendor.test"};
        request.connection.caFile = secure.CaFile().string();
        fs::perms folderMode = fs::perms::unknown;
        RecordingHooks hooks(log, [&] {
            folderMode = fs::status(UpgradeFolderIn(parent)).permissions();
            if (c.beforeRun) {
                c.beforeRun();
            }
        });
        hooks.saves = c.outcome != InstallOutcome::NotSaved;
        const std::size_t requests = plain.RequestCount() + secure.RequestCount();

        EXPECT_EQ(InstallUpgrade(request, hooks), c.outcome) << c.name;
        if (c.outcome == InstallOutcome::NoKey) {
            EXPECT_EQ(plain.RequestCount() + secure.RequestCount(), requests) << c.name << ": downloaded";
        }
        EXPECT_EQ(test::ReadFileBytes(log), ran.contains(c.outcome) ? ran.at(c.outcome) : "") << c.name;
        EXPECT_EQ(hooks.shown.texts, message.contains(c.outcome) ? std::vector{message.at(c.outcome)}
                                                                 : std::vector<std::string>{})
            << c.name;
        if (ran.contains(c.outcome)) {
            EXPECT_EQ(folderMode, fs::perms::owner_all) << c.name;
        }
        EXPECT_EQ(UpgradeFolderIn(parent), fs::path()) << c.name << ": the download folder stays behind";
    }
    EXPECT_EQ(test::ReadFileBytes(victim), "keep me");
}

TEST(Install, ReportsADownloadFolderThatCannotBeMade) {
    test::TempDir root;
    test::WriteFileBytes(root / "file", "not a folder");
    const test::SigningKey key;
    InstallRequest request{"127.0.0.1:1/u", key.Sign("x"), {key.PublicKey()}, root / "file", {}, {}, "v"};
    RecordingHooks hooks(root / "log", {});
    EXPECT_EQ(InstallUpgrade(request, hooks), InstallOutcome::DownloadFailed);
    ASSERT_EQ(hooks.shown.texts.size(), 2u);
    EXPECT_THAT(hooks.shown.texts[0], ::testing::StartsWith((root / "file").string() + ": "));
    EXPECT_EQ(hooks.shown.texts[1], kDownloadFailedText);
}

} // namespace
} // namespace sendwell
