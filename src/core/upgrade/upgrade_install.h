// Installing a downloaded upgrade: the installer is fetched into a fresh private folder, run only when
// a trusted key signed it, and started after the installed version's uninstaller; the program then ends.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/progress.h"
#include "core/base/prompt.h"

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
inline constexpr const char* kNoUpgradeKeyText =
    "This copy of the program has no key to verify updates with, so nothing was downloaded or installed. "
    "Your current version is still installed.\n\nYou can manually upgrade your software by visiting our "
    "web site and clicking Download Evaluation to obtain the latest version.";
// Where the installer's signature is looked for when the page names none: beside the installer.
inline constexpr const char* kSignatureSuffix = ".sig";

// What the install asks of the program around it.
class InstallHooks {
public:
    virtual ~InstallHooks() = default;
    // Runs work on a thread of its own behind the "Upgrading Software" window, which shows text, and
    // returns once work has ended.
    virtual void RunOffThread(const std::function<void()>& work, const std::string& text) = 0;
    // New text for that window; called from the thread of RunOffThread.
    virtual Progress& DownloadProgress() = 0;
    // Saves the URL database and the settings. False when they could not be saved: the install stops.
    virtual bool SaveBeforeUninstall() = 0;
    // The message boxes, shown from the installing thread, and the credentials, asked from the
    // download thread when the server answers 401.
    virtual Prompt& UserPrompt() = 0;
};

struct InstallRequest {
    std::string link;      // the installer's address
    std::string signature; // its Ed25519 signature as the upgrade page gave it; "" to fetch link + ".sig"
    std::vector<std::string> keys;        // public keys that may sign it (TrustedUpgradeKeys)
    std::filesystem::path downloadParent; // a fresh private folder for the download is made in here
    std::filesystem::path installFolder;  // the program's own: the only place an uninstaller is run from
    ConnectionSettings connection;
    std::string vendorHost;
};

enum class InstallOutcome {
    NoKey,          // no key to verify with: nothing downloaded, the refusal shown
    DownloadFailed, // the failure message was shown
    Unverified,     // no signature, or none that a trusted key made: deleted, the refusal shown
    NotSaved,       // the program's data could not be saved, so nothing was run
    Installed,      // both programs have run; the program must end now with exit code 0
};

// Downloads into a fresh folder only this user can enter, checks the signature, saves, runs the
// uninstaller of installFolder with " /SILENT" (when there is one), then the installer with one empty
// argument, and deletes the folder. The installer that runs is the very file that was checked: it is
// executed through the descriptor its bytes were read from, never looked up by name again.
InstallOutcome InstallUpgrade(const InstallRequest& request, InstallHooks& hooks);

} // namespace sendwell
