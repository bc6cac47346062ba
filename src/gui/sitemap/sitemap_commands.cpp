#include "gui/sitemap/sitemap_commands.h"

#include "core/sitemap/sitemap_import.h"
#include "core/sitemap/sitemap_writer.h"
#include "core/urldb/url_import.h"
#include "gui/base/text_bytes.h"
#include "gui/urldb/import_command.h"
#include "gui/urldb/url_list_model.h"

#include <QFile>
#include <QStringLiteral>
#include <string>
#include <vector>

namespace sendwell::gui {

QString ImportFileFilters() {
    return QStringLiteral("All files (*);;Sitemaps (*.xml *.xml.gz *.gz robots.txt);;Text files (*.txt)");
}

std::size_t RunSitemapImport(QWidget* parent, UrlListModel& model, const std::filesystem::path& file,
                             const sendwell::ConnectionSettings& connection, sendwell::Prompt& messages) {
    sendwell::SitemapImport sitemap;
    const sendwell::SitemapRead& read = sitemap.read;
    const ImportReader reader = [&](const std::filesystem::path& source, std::vector<std::string>& addresses,
                                    const sendwell::ImportControl& control) {
        sitemap = sendwell::ReadSitemapImport(source.string(), connection, control.stop);
        addresses = read.addresses;
        return read.outcome.cancelled() ? sendwell::ImportEnd::Cancelled : sendwell::ImportEnd::Finished;
    };
    const ImportSelection select = [&](const std::vector<std::string>&) {
        sendwell::ChooseSitemapAdditions(sitemap, model.database());
        return std::move(sitemap.toAdd);
    };
    const std::size_t added = RunImportCommand(parent, model, file, reader, select);
    if (read.outcome.end == sendwell::Outcome::End::Failed) {
        messages.ShowMessage(read.outcome.text, kImportCaption, sendwell::MessageIcon::Warning);
    } else if (read.ok() && !read.warnings.empty()) {
        std::string text;
        for (const std::string& warning : read.warnings) {
            text += (text.empty() ? "" : "\n") + warning;
        }
        messages.ShowMessage(text, kImportCaption, sendwell::MessageIcon::Information);
    }
    return added;
}

bool RunSitemapExport(QWidget* parent, const sendwell::UrlDatabase& db, sendwell::Prompt& messages,
                      const FileChooser& chooser) {
    const QString file =
        ChooseExportFile(parent, chooser, QString::fromUtf8(kExportSitemapCaption),
                         QStringLiteral("sitemap.xml"), QStringLiteral("Sitemaps (*.xml);;All files (*)"));
    if (file.isEmpty()) {
        return false;
    }
    const sendwell::SitemapExport written = sendwell::ExportSitemap(db, ToPath(file));
    if (!written.ok()) {
        messages.ShowMessage(written.outcome.text, kExportSitemapCaption, sendwell::MessageIcon::Warning);
    } else if (!written.warning.empty()) {
        messages.ShowMessage(written.warning, kExportSitemapCaption, sendwell::MessageIcon::Information);
    }
    return written.ok();
}

} // namespace sendwell::gui
