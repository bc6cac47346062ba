#include "core/upgrade/upgrade_install.h"

#include "core/base/sha256.h"
#include "core/upgrade/installer_download.h"

#include <memory>
#include <system_error>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

bool Trusted(const DownloadResult& got, const std::string& sha256, const fs::path& file) {
    if (!sha256.empty()) {
        return FileSha256(file) == sha256;
    }
    return got.verifiedTls;
}

} // namespace

InstallOutcome InstallUpgrade(const InstallRequest& request, InstallHooks& hooks) {
    const fs::path installer = request.folder / kInstallerFile;
    DownloadJob job{request.link, request.connection, installer, request.vendorHost};
    DownloadHooks downloadHooks;
    downloadHooks.progress = [&hooks](const std::string& text) { hooks.ShowProgress(text); };
    downloadHooks.messages = &hooks.Messages();
    downloadHooks.credentials = hooks.Credentials();
    const DownloadResult got = DownloadFile(job, downloadHooks, [&hooks](const std::function<void()>& work) {
        hooks.RunOffThread(work, kDownloadingUpdateText);
    });

    std::error_code ec;
    if (!got.ok || !fs::exists(installer, ec)) {
        hooks.Messages().ShowMessage(kDownloadFailedText, kAppCaption, MessageIcon::Information);
        return InstallOutcome::DownloadFailed;
    }
    if (!Trusted(got, request.sha256, installer)) {
        fs::remove(installer, ec);
        hooks.Messages().ShowMessage(kUnverifiedDownloadText, kAppCaption, MessageIcon::Warning);
        return InstallOutcome::Unverified;
    }
    fs::permissions(installer, fs::perms::owner_exec, fs::perm_options::add, ec);
    if (!hooks.SaveBeforeUninstall()) {
        fs::remove(installer, ec);
        return InstallOutcome::NotSaved;
    }
    hooks.RunOffThread(
        [&] {
            hooks.RunProgram(request.folder / kUninstallerFile, {kUninstallerArgument});
            hooks.RunProgram(installer, {std::string()});
        },
        kRemovingOldVersionText);
    fs::remove(installer, ec);
    return InstallOutcome::Installed;
}

} // namespace sendwell
