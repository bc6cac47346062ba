#include "core/upgrade/upgrade_install.h"

#include "core/upgrade/installer_download.h"

#include <array>
#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <system_error>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* c) const noexcept { EVP_MD_CTX_free(c); }
};

bool Trusted(const DownloadResult& got, const std::string& sha256, const fs::path& file) {
    if (!sha256.empty()) {
        return FileSha256(file) == sha256;
    }
    return got.verifiedTls;
}

} // namespace

std::string FileSha256(const fs::path& file) {
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
    if (!in || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return {};
    }
    std::array<unsigned char, 65536> buffer;
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        if (EVP_DigestUpdate(context.get(), buffer.data(), n) != 1) {
            return {};
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (std::ferror(in.get()) != 0 || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

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
