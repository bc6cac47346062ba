// The settings store, the callers' conversion rules and the host configuration.
#include "core/base/hosts.h"
#include "core/base/numbers.h"
#include "core/base/program_settings.h"
#include "core/base/settings.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace sendwell {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class SettingsTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    test::ScopedXdgHome home_{dir_.path()};

    static bool Put(std::string_view name, std::string_view text) {
        return WriteSetting(kSettingsSection, name, text);
    }
    static std::string Get(std::string_view name) { return ReadSetting(kSettingsSection, name); }
};

TEST_F(SettingsTest, EmptyStoreGivesEveryDefault) {
    const ConnectionSettings c = ProgramSettings().Connection();
    EXPECT_FALSE(c.useProxy);
    EXPECT_EQ(c.proxyName, "");
    EXPECT_EQ(c.proxyBypass, "");
    EXPECT_EQ(c.bufSize, 8096);
    EXPECT_EQ(ReadFlag(kSettingsSection, "m_Google"), -1);
    EXPECT_TRUE(ProgramSettings().EngineOn("m_Google"));
    EXPECT_FALSE(ReadWindowSetting(kWindowSizeSection, "CX").has_value());
    EXPECT_FALSE(std::filesystem::exists(SettingsFileFor(kSettingsSection)));
}

TEST_F(SettingsTest, BufferSizeTakesOnlyItsRangeByLeadingInteger) {
    const std::pair<const char*, int> cases[] = {
        {"500", 8096},    {"501", 501},   {"9999", 9999}, {"10000", 8096}, {"letters", 8096},
        {"  777kb", 777}, {"-600", 8096}, {"", 8096},     {"-", 8096},     {"99999999999999999999999", 8096},
    };
    for (const auto& [stored, expected] : cases) {
        ASSERT_TRUE(Put("i_BufSize", stored));
        EXPECT_EQ(ProgramSettings().Connection().bufSize, expected) << "stored \"" << stored << "\"";
    }
}

TEST_F(SettingsTest, FlagsTakeOnlyExactZeroOrOne) {
    for (const char* stored : {"2", "yes", " 1", ""}) {
        ASSERT_TRUE(Put("bProxyOn", stored));
        ASSERT_TRUE(Put("m_bIndexNowInRuns", stored));
        EXPECT_FALSE(ProgramSettings().Connection().useProxy) << stored;
        EXPECT_FALSE(ProgramSettings().IndexNowInRuns()) << stored;
    }
    ASSERT_TRUE(Put("bProxyOn", "1"));
    ASSERT_TRUE(Put("m_bIndexNowInRuns", "1"));
    EXPECT_TRUE(ProgramSettings().Connection().useProxy);
    EXPECT_TRUE(ProgramSettings().IndexNowInRuns());
    ASSERT_TRUE(Put("bProxyOn", "0"));
    EXPECT_FALSE(ProgramSettings().Connection().useProxy);
}

TEST_F(SettingsTest, EngineFlagIsOffOnlyForExactZero) {
    for (const char* stored : {"-1", "abc", "2", "", "-", "1"}) {
        ASSERT_TRUE(Put("m_Hotbot", stored));
        EXPECT_EQ(ReadFlag(kSettingsSection, "m_Hotbot"), std::string(stored) == "1" ? 1 : -1) << stored;
        EXPECT_TRUE(ProgramSettings().EngineOn("m_Hotbot")) << stored;
    }
    ASSERT_TRUE(Put("m_Hotbot", "0"));
    EXPECT_EQ(ReadFlag(kSettingsSection, "m_Hotbot"), 0);
    EXPECT_FALSE(ProgramSettings().EngineOn("m_Hotbot"));
}

TEST_F(SettingsTest, TooLongAndHyphenValuesReadAsMissing) {
    ASSERT_TRUE(Put("m_ProxyName", std::string(999, 'p')));
    EXPECT_EQ(ProgramSettings().Connection().proxyName, std::string(999, 'p'));
    ASSERT_TRUE(Put("m_ProxyName", std::string(1000, 'p')));
    EXPECT_EQ(ProgramSettings().Connection().proxyName, "");
    ASSERT_TRUE(Put("i_BufSize", "600" + std::string(1000, ' ')));
    EXPECT_EQ(ProgramSettings().Connection().bufSize, 8096);
    ASSERT_TRUE(Put("m_ProxyName", "-"));
    EXPECT_EQ(ProgramSettings().Connection().proxyName, "");
    ASSERT_TRUE(Put("m_ProxyName", "--"));
    EXPECT_EQ(ProgramSettings().Connection().proxyName, "--");
}

// Each typed value reaches the file under the name stored settings already carry, and back.
TEST_F(SettingsTest, TypedValuesKeepTheirNamesInTheFile) {
    ASSERT_TRUE(ProgramSettings::SetEngineOn("m_Google", false));
    ASSERT_TRUE(ProgramSettings::SetHost("Engine02", "127.0.0.1:8080"));
    ASSERT_TRUE(ProgramSettings::SetFirewallTipShown());
    ASSERT_TRUE(ProgramSettings::SetIndexNowKey("key-1234"));
    ASSERT_TRUE(ProgramSettings::SetIndexNowKeyLocation("/keys/k.txt"));
    ASSERT_TRUE(ProgramSettings::SetIndexNowInRuns(true));
    ASSERT_TRUE(ProgramSettings::SetUpgradeDate("3 5 2010"));
    const std::pair<const char*, const char*> stored[] = {
        {"m_Google", "0"},
        {"Host.Engine02", "127.0.0.1:8080"},
        {"m_bFirstTimeNotice", "1"},
        {"m_IndexNowKey", "key-1234"},
        {"m_IndexNowKeyLocation", "/keys/k.txt"},
        {"m_bIndexNowInRuns", "1"},
        {"UpgradeDate", "3 5 2010"},
    };
    for (const auto& [name, value] : stored) {
        EXPECT_EQ(Get(name), value) << name;
    }
    ASSERT_TRUE(Put("i_RequestTimeout", "15s"));
    ASSERT_TRUE(Put("i_MaxAnswerBytes", "-3"));
    ASSERT_TRUE(Put("UpgradePublicKey", "pk"));

    const ProgramSettings now;
    EXPECT_FALSE(now.EngineOn("m_Google"));
    EXPECT_EQ(now.Host("Engine02"), "127.0.0.1:8080");
    EXPECT_TRUE(now.FirewallTipShown());
    EXPECT_EQ(now.IndexNowKey(), "key-1234");
    EXPECT_EQ(now.IndexNowKeyLocation(), "/keys/k.txt");
    EXPECT_TRUE(now.IndexNowInRuns());
    EXPECT_EQ(now.UpgradeDate(), "3 5 2010");
    EXPECT_EQ(now.RequestTimeoutSeconds(), 15);
    EXPECT_FALSE(now.MaxAnswerBytes().has_value());
    EXPECT_EQ(now.UpgradePublicKey(), "pk");

    ASSERT_TRUE(ProgramSettings::SetHost("Engine02", ""));
    EXPECT_EQ(ProgramSettings().Host("Engine02"), "www.google.com");

    ASSERT_TRUE(ProgramSettings::KeepWindowSize(SizedWindow::Main, 812, 600));
    ASSERT_TRUE(ProgramSettings::KeepWindowSize(SizedWindow::RankResults, 640, 480));
    EXPECT_NE(ReadFileBytes(ProfileFile()).find("[66]\nCX=812\nCY=600\n"), std::string::npos);
    EXPECT_NE(ReadFileBytes(ProfileFile()).find("[a5]\nCX=640\nCY=480\n"), std::string::npos);
}

// A look keeps what it saw: a flag and a host read through one look never come from two states.
TEST_F(SettingsTest, OneLookKeepsItsValuesWhileTheFileChanges) {
    ASSERT_TRUE(Put("m_Google", "0"));
    const ProgramSettings before;
    ASSERT_TRUE(Put("m_Google", "1"));
    ASSERT_TRUE(Put("Host.Engine02", "127.0.0.1:9"));
    EXPECT_FALSE(before.EngineOn("m_Google"));
    EXPECT_EQ(before.Host("Engine02"), "www.google.com");
    EXPECT_TRUE(ProgramSettings().EngineOn("m_Google"));
    EXPECT_EQ(ProgramSettings().Host("Engine02"), "127.0.0.1:9");
}

TEST_F(SettingsTest, ValuesAndNamesRoundTripByteExact) {
    const std::pair<std::string, std::string> values[] = {
        {"m_ProxyName", "proxy.lan:3128"},
        {"equals", "a=b==c"},
        {"hash", "#not a comment ;nor this"},
        {"blanks", "  padded\tvalue  "},
        {"bytes", "caf\xc3\xa9 \x80\xff\x01"},
        {"empty", ""},
        {" spaced name ", "x"},
        {"Host.Engine02", "127.0.0.1:8080"},
    };
    for (const auto& [name, value] : values) {
        ASSERT_TRUE(Put(name, value)) << name;
    }
    for (const auto& [name, value] : values) {
        EXPECT_EQ(Get(name), value) << name;
    }
    // Re-writing one value changes nothing else.
    ASSERT_TRUE(Put("hash", "changed"));
    EXPECT_EQ(Get("hash"), "changed");
    EXPECT_EQ(Get("blanks"), "  padded\tvalue  ");

    const std::string file = ReadFileBytes(ConfigHome() / "Linkcaster!.conf");
    EXPECT_NE(file.find("[Linkcaster!]\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\nequals=a=b==c\n"), std::string::npos) << file;
}

TEST_F(SettingsTest, LineBreaksAndUnreadableNamesAreRefused) {
    ASSERT_TRUE(Put("m_ProxyBypass", "kept"));
    EXPECT_FALSE(Put("m_ProxyBypass", "two\nlines"));
    EXPECT_FALSE(Put("m_ProxyBypass", "carriage\rreturn"));
    EXPECT_EQ(Get("m_ProxyBypass"), "kept");

    for (const char* name : {"a=b", "a\nb", "a\rb", "", "[x", "#x", ";x"}) {
        EXPECT_FALSE(Put(name, "v")) << name;
    }
    EXPECT_FALSE(WriteSetting("", "name", "v"));
    EXPECT_FALSE(WriteSetting("../escape", "name", "v"));
    EXPECT_EQ(Get("m_ProxyBypass"), "kept");
}

TEST_F(SettingsTest, HandEditedFileIsReadAndItsOtherLinesKept) {
    const auto file = SettingsFileFor(kSettingsSection);
    std::filesystem::create_directories(file.parent_path());
    const std::string original = "# my notes\r\n"
                                 "; more notes\n"
                                 "[Other]\n"
                                 "m_ProxyName=wrong section\n"
                                 "[Linkcaster!]   \r\n"
                                 "m_ProxyName=proxy:8080\r\n"
                                 "junk line without equals\n"
                                 "m_ProxyName=later duplicate\n"
                                 "bProxyOn=1";
    WriteFileBytes(file, original);

    EXPECT_EQ(ProgramSettings().Connection().proxyName, "proxy:8080");
    EXPECT_TRUE(ProgramSettings().Connection().useProxy);

    ASSERT_TRUE(Put("m_ProxyName", "new:1"));
    ASSERT_TRUE(Put("i_BufSize", "4096"));
    EXPECT_EQ(ReadFileBytes(file), "# my notes\r\n"
                                   "; more notes\n"
                                   "[Other]\n"
                                   "m_ProxyName=wrong section\n"
                                   "[Linkcaster!]   \r\n"
                                   "m_ProxyName=new:1\r\n"
                                   "junk line without equals\n"
                                   "m_ProxyName=later duplicate\n"
                                   "bProxyOn=1\r\n"
                                   "i_BufSize=4096\r\n");
}

TEST_F(SettingsTest, WritingOneValueKeepsEveryOtherByteAndHowItReads) {
    const auto file = SettingsFileFor(kSettingsSection);
    std::filesystem::create_directories(file.parent_path());
    const struct {
        const char* what;
        std::string before, after; // after writing m_Google=0
        std::string other;         // what m_ProxyName reads, before and after
    } cases[] = {
        {"lines ending in CR CR LF", "[Linkcaster!]\r\nm_ProxyName=a\r\r\nm_Google=1\r\r\n",
         "[Linkcaster!]\r\nm_ProxyName=a\r\r\nm_Google=0\r\n", "a\r"},
        {"a last line ending in CR", "[Linkcaster!]\nm_ProxyName=a\r",
         "[Linkcaster!]\nm_ProxyName=a\r\r\nm_Google=0\n", "a\r"},
        {"a header with blanks and CRs after it", "[Linkcaster!]  \r\r\nm_ProxyName=a\r\n",
         "[Linkcaster!]  \r\r\nm_ProxyName=a\r\nm_Google=0\r\n", "a"},
        {"no line end at all", "[Linkcaster!]\nm_ProxyName=a", "[Linkcaster!]\nm_ProxyName=a\nm_Google=0\n",
         "a"},
        {"another section only", "[Other]\r\nm_ProxyName=b\r\n",
         "[Other]\r\nm_ProxyName=b\r\n\r\n[Linkcaster!]\r\nm_Google=0\r\n", ""},
        {"a duplicate further down", "[Linkcaster!]\nm_Google=1\nm_ProxyName=a\nm_Google=1\n",
         "[Linkcaster!]\nm_Google=0\nm_ProxyName=a\nm_Google=1\n", "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(file, c.before);
        EXPECT_EQ(Get("m_ProxyName"), c.other);
        ASSERT_TRUE(Put("m_Google", "0"));
        EXPECT_EQ(ReadFileBytes(file), c.after);
        EXPECT_EQ(Get("m_ProxyName"), c.other);
        EXPECT_EQ(ReadFlag(kSettingsSection, "m_Google"), 0);
    }
}

TEST_F(SettingsTest, ReadsSeeEveryChangeThatGivesTheFileANewIdentity) {
    const auto file = SettingsFileFor(kSettingsSection);
    std::filesystem::create_directories(file.parent_path());
    // Files last changed long ago, so that a read may keep what it parsed; each case in a second of its
    // own, so that no file of one case can pass for a file of another.
    time_t second = 1000000000;
    auto setTime = [&file, &second](long nanoseconds) {
        const timespec times[2] = {{second, nanoseconds}, {second, nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        std::string expected;
    } cases[] = {
        {"a write through the store", [] { ASSERT_TRUE(Put("m_ProxyName", "bbbb")); }, "bbbb"},
        {"a longer text",
         [&] {
             WriteFileBytes(file, "[Linkcaster!]\nm_ProxyName=bbbbb\n");
             setTime(1);
         },
         "bbbbb"},
        {"the same size, changed a nanosecond later",
         [&] {
             WriteFileBytes(file, "[Linkcaster!]\nm_ProxyName=bbbb\n");
             setTime(2);
         },
         "bbbb"},
        {"the same size and time in a new file",
         [&] {
             const auto other = std::filesystem::path(file).concat(".new");
             WriteFileBytes(other, "[Linkcaster!]\nm_ProxyName=bbbb\n");
             std::filesystem::rename(other, file);
             setTime(1);
         },
         "bbbb"},
        // Nothing tells this one apart, so the value parsed before is kept: proof that an unchanged
        // file is not read again.
        {"the same size, time and file",
         [&] {
             WriteFileBytes(file, "[Linkcaster!]\nm_ProxyName=bbbb\n");
             setTime(1);
         },
         "aaaa"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ++second;
        std::filesystem::remove(file);
        WriteFileBytes(file, "[Linkcaster!]\nm_ProxyName=aaaa\n");
        setTime(1);
        ASSERT_EQ(Get("m_ProxyName"), "aaaa");
        c.change();
        EXPECT_EQ(Get("m_ProxyName"), c.expected);
    }
}

TEST_F(SettingsTest, ReadsOnOneThreadWhileAnotherWrites) {
    // As a run reads engine flags while the Engines dialog writes them.
    ASSERT_TRUE(Put("m_Google", "1"));
    std::atomic<bool> writing{true};
    std::thread writer([&writing] {
        for (int i = 0; i < 200; ++i) {
            Put("m_Google", i % 2 == 0 ? "0" : "1");
        }
        writing = false;
    });
    int reads = 0;
    while (writing || reads == 0) {
        const int flag = ReadFlag(kSettingsSection, "m_Google");
        ASSERT_TRUE(flag == 0 || flag == 1) << flag;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(ReadFlag(kSettingsSection, "m_Google"), 1);
}

TEST_F(SettingsTest, ConcurrentProgramCopiesKeepEachOthersValues) {
    constexpr int kEach = 150;
    ASSERT_TRUE(Put("before", "1")); // the file exists before both start
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const std::string who = child == 0 ? "child" : "parent";
    bool allWritten = true;
    for (int i = 0; i < kEach; ++i) {
        allWritten = Put(who + "." + std::to_string(i), who + " value " + std::to_string(i)) && allWritten;
    }
    if (child == 0) {
        std::_Exit(allWritten ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(allWritten);
    for (const std::string side : {"child", "parent"}) {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(Get(side + "." + std::to_string(i)), side + " value " + std::to_string(i));
        }
    }
    EXPECT_EQ(Get("before"), "1");
}

TEST_F(SettingsTest, WindowSizeGoesToTheProgramsFrameworkArea) {
    ASSERT_TRUE(WriteWindowSetting(kWindowSizeSection, "CX", 812));
    ASSERT_TRUE(WriteWindowSetting(kWindowSizeSection, "CY", -3));
    EXPECT_EQ(ReadWindowSetting(kWindowSizeSection, "CX"), 812);
    EXPECT_EQ(ReadWindowSetting(kWindowSizeSection, "CY"), -3);
    EXPECT_EQ(ProfileFile(), ConfigHome() / "Quenby" / "sendwell.conf");
    EXPECT_NE(ReadFileBytes(ProfileFile()).find("[66]\nCX=812\nCY=-3\n"), std::string::npos);
    EXPECT_EQ(Get("CX"), ""); // not in the program's own section

    SetProgramName("other");
    EXPECT_EQ(ProfileFile(), ConfigHome() / "Quenby" / "other.conf");
    EXPECT_FALSE(ReadWindowSetting(kWindowSizeSection, "CX").has_value());
    SetProgramName("sendwell");
}

TEST(SettingsPaths, RelativeXdgValuesAreIgnored) {
    test::TempDir dir;
    test::ScopedXdgHome home(dir.path());
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    ::setenv("HOME", dir.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ::setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(ConfigHome(), dir.path() / ".config");
    EXPECT_EQ(DataHome(), dir.path() / ".local/share");
    EXPECT_EQ(SettingsFileFor(kSettingsSection), dir.path() / ".config" / "Linkcaster!.conf");
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(SettingsTest, HostsHaveDefaultsAndTakeOverridesWithPorts) {
    std::set<std::string_view> keys;
    for (const HostDefault& h : HostDefaults()) {
        EXPECT_TRUE(keys.insert(h.key).second) << "duplicate key " << h.key;
        EXPECT_FALSE(h.defaultHost.empty()) << h.key;
        EXPECT_EQ(h.defaultHost.find_first_of("/ "), std::string_view::npos) << h.key;
        EXPECT_EQ(HostFor(h.key), h.defaultHost);
    }
    for (int position = 1; position <= 26; ++position) {
        EXPECT_TRUE(keys.count(EngineHostKey(position))) << position;
    }
    for (const char* key :
         {"AlexaConfirm", "GoogleSearch", "GoogleDomain", "Vendor", "VendorPartner", "Popularity"}) {
        EXPECT_TRUE(keys.count(key)) << key;
    }
    EXPECT_EQ(EngineHostKey(1), "Engine01");
    EXPECT_EQ(EngineHostKey(26), "Engine26");
    EXPECT_EQ(EngineHostKey(0), "");
    EXPECT_EQ(EngineHostKey(27), "");
    EXPECT_EQ(HostFor("Engine21").find_first_not_of("0123456789."), std::string::npos);
    EXPECT_EQ(HostFor("NoSuchService"), "");
    EXPECT_EQ(HostFor("Vendor"), "www.sendwellpro.example");

    EXPECT_EQ(HostSettingName("Engine02"), "Host.Engine02");
    ASSERT_TRUE(Put("Host.Engine02", "127.0.0.1:8080"));
    EXPECT_EQ(HostFor("Engine02"), "127.0.0.1:8080");
    ASSERT_TRUE(Put("Host.Engine02", "-"));
    EXPECT_EQ(HostFor("Engine02"), "www.google.com");
    ASSERT_TRUE(Put("Host.NoSuchService", "127.0.0.1"));
    EXPECT_EQ(HostFor("NoSuchService"), "");
}

} // namespace
} // namespace sendwell
