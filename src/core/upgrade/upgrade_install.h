// Installing a downloaded upgrade: the installer is fetched into the program folder, run only when it
// can be trusted, and started after the installed version's uninstaller; the program then ends.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/messages.h"
#include "core/web/credentials_prompt.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sendwell {

inline constexpr const char* kUpgradingCaption = "Upgrading Software";
inline constexpr const char* kRemovingOldVersionText = "Removing old version ..";
inline constexpr const char* kInstallerFile = "NewUpdate.exe";
inline constexpr const char* kUninstallerFile = "unins000.exe";
inline constexpr const char* kUninstallerArgument = " /SILENT"; // the leading blank belongs to it

inline constexpr const char* kDownloadFailedText =
    "There was a problem while downloading the update for your software. Your current version is still "
    "installed.\n\nYou can manually upgrade your software by visiting our web site and clicking Download "
    "Evaluation to obtain the latest version.";
inline constexpr const char* kUnverifiedDownloadText =
    "The downloaded update could not be verified, so it was deleted and nothing was installed. Your "
    "current version is still installed.\n\nYou can manually upgrade your software by visiting our web "
    "site and clicking Download Evaluation to obtain the latest version.";

// What the install asks of the program around it.
class InstallHooks {
public:
    virtual ~InstallHooks() = default;
    // Runs work on a thread of its own behind the "Upgrading Software" window, which shows text, and
    // returns once work has ended.
    virtual void RunOffThread(const std::function<void()>& work, const std::string& text) = 0;
    // New text for that window; called from the thread of RunOffThread.
    virtual void ShowProgress(const std::string& text) = 0;
    // Saves the URL database and the settings. False when they could not be saved: the install stops.
    virtual bool SaveBeforeUninstall() = 0;
    // Starts program with exactly these arguments, no shell, and waits until it ends. A program that
    // cannot be started is passed over. Called from the thread of RunOffThread.
    virtual void RunProgram(const std::filesystem::path& program,
                            const std::vector<std::string>& arguments) = 0;
    // Message boxes; callable from any thread.
    virtual MessageSink& Messages() = 0;
    // Asked from the download thread when the server answers 401; null for none.
    virtual CredentialsPrompt* Credentials() = 0;
};

struct InstallRequest {
    std::string link;             // the installer's address
    std::string sha256;           // its digest as the upgrade page gave it; "" for none
    std::filesystem::path folder; // the program folder: the installer lands here, the uninstaller lives here
    ConnectionSettings connection;
    std::string vendorHost;
};

enum class InstallOutcome {
    DownloadFailed, // the failure message was shown
    Unverified,     // neither verified https nor a matching digest: deleted, the refusal shown
    NotSaved,       // the program's data could not be saved, so nothing was run
    Installed,      // both programs have run; the program must end now with exit code 0
};

// Downloads, checks, saves, runs the uninstaller with " /SILENT", then the installer with one empty
// argument, and deletes the installer. Only a download that came whole over https with a verified
// certificate, or that matches the page's SHA-256 digest, is run; a digest that does not match is
// refused even over https.
InstallOutcome InstallUpgrade(const InstallRequest& request, InstallHooks& hooks);

} // namespace sendwell
