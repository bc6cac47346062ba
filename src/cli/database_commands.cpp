// The commands on the URL database: list, add, remove, import, sitemap and email.
#include "cli/command.h"
#include "cli/database_access.h"
#include "cli/interrupt.h"
#include "core/base/program_settings.h"
#include "core/sitemap/sitemap_import.h"
#include "core/sitemap/sitemap_writer.h"
#include "core/urldb/add_command.h"
#include "core/urldb/url_import.h"
#include "core/web/page_fetcher.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>

namespace sendwell::cli {

namespace {

// Prints the rows from first on: "<what> #N address" lines for people, {"<what>": [rows]} for programs.
void PrintRows(Output& output, const UrlDatabase& db, std::size_t first, const char* what) {
    if (output.json()) {
        nlohmann::json rows = nlohmann::json::array();
        for (std::size_t i = first; i < db.recordCount(); ++i) {
            rows.push_back(RowJson(db, i));
        }
        output.PrintJson({{what, rows}});
        return;
    }
    for (std::size_t i = first; i < db.recordCount(); ++i) {
        output.out() << what << " #" << i + 1 << " " << db.rows()[i].url << "\n";
    }
}

class ListCommand final : public Command {
public:
    void Define(CLI::App&) override {}

    int Run(Output& output) override {
        DatabaseAccess access(DatabaseAccess::Mode::Read);
        const UrlDatabase& db = access.db();
        if (output.json()) {
            nlohmann::json rows = nlohmann::json::array();
            for (std::size_t i = 0; i < db.recordCount(); ++i) {
                rows.push_back(RowJson(db, i));
            }
            output.PrintJson({{"email", db.email()}, {"urls", rows}});
            return kExitDone;
        }
        const std::size_t numberWidth = std::max<std::size_t>(1, std::to_string(db.recordCount()).size());
        std::ostream& out = output.out();
        out << std::string(numberWidth - 1, ' ') << "#  Last Sent   # Submits  Web URL\n";
        for (std::size_t i = 0; i < db.recordCount(); ++i) {
            const UrlRecord& row = db.rows()[i];
            const std::string number = std::to_string(i + 1);
            out << std::string(numberWidth - number.size(), ' ') << number << "  " << row.lastSent
                << std::string(row.lastSent.size() < 10 ? 10 - row.lastSent.size() : 0, ' ') << "  "
                << row.submits << std::string(row.submits.size() < 9 ? 9 - row.submits.size() : 0, ' ')
                << "  " << row.url << "\n";
        }
        return kExitDone;
    }
};

class AddCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command
            .add_option("URL", addresses_, "Addresses to add; \"http://\" goes in front of one without it")
            ->required();
    }

    int Run(Output& output) override {
        DatabaseAccess access(DatabaseAccess::Mode::Write);
        UrlDatabase& db = access.db();
        const std::size_t first = db.recordCount();
        // All or nothing: one refused address leaves the file untouched.
        for (const std::string& address : addresses_) {
            switch (sendwell::AddCommand(db, address)) {
            case AddOutcome::Appended:
                break;
            case AddOutcome::InvalidUrl:
                throw CommandFailure(kExitUsage, "\"" + address + "\": " + kInvalidUrlText);
            case AddOutcome::Nothing:
                throw CommandFailure(kExitUsage, "\"" + address + "\" is too short to be an address");
            }
        }
        access.Save();
        PrintRows(output, db, first, "added");
        return kExitDone;
    }

private:
    std::vector<std::string> addresses_;
};

class RemoveCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command
            .add_option("ROW", names_,
                        "Rows to remove: an address (every row holding it) or a row number, #N or N "
                        "(quote #N: the shell takes an unquoted #2 for a comment)")
            ->required();
    }

    int Run(Output& output) override {
        DatabaseAccess access(DatabaseAccess::Mode::Write);
        UrlDatabase& db = access.db();
        std::vector<std::size_t> rows = RowsNamed(db, names_, true);
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        nlohmann::json removed = nlohmann::json::array();
        for (std::size_t row : rows) {
            removed.push_back(RowJson(db, row));
        }
        db.RemoveSelected(rows);
        access.Save();
        if (output.json()) {
            output.PrintJson({{"removed", removed}, {"remaining", db.recordCount()}});
        } else {
            for (const nlohmann::json& row : removed) {
                output.out() << "removed #" << row["number"].get<std::size_t>() << " "
                             << row["url"].get<std::string>() << "\n";
            }
        }
        return kExitDone;
    }

private:
    std::vector<std::string> names_;
};

class ImportCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command
            .add_option("FILE", file_,
                        "A text file of addresses, one a line or several separated by commas; lines "
                        "without \"www.\" or \"http\" are skipped")
            ->required();
    }

    int Run(Output& output) override {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file_, ec) || !std::ifstream(file_, std::ios::binary)) {
            throw CommandFailure(kExitUsage, "cannot read " + file_);
        }
        DatabaseAccess access(DatabaseAccess::Mode::Write);
        UrlDatabase& db = access.db();
        const std::size_t first = db.recordCount();
        for (std::string& address : ParseImportFile(file_)) {
            db.AppendUrl(std::move(address));
        }
        access.Save();
        PrintRows(output, db, first, "added");
        return kExitDone;
    }

private:
    std::string file_;
};

class SitemapCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command.require_subcommand(1);
        import_ = command.add_subcommand(
            "import", "Add the addresses of a sitemap: a sitemap.xml or .xml.gz, a sitemap index with the "
                      "sitemaps it names, or a robots.txt's \"Sitemap:\" lines; addresses already in the "
                      "database are skipped. A sitemap that cannot be read imports nothing (exit code 2)");
        import_->add_option("SOURCE", source_, "A local file, or an http or https address")->required();
        import_->fallthrough();
        export_ = command.add_subcommand(
            "export", "Write the database as a sitemap, each address once, with <lastmod> from Last Sent");
        export_->add_option("FILE", file_, "The sitemap file to write (replaced whole)")->required();
        export_->fallthrough();
    }

    int Run(Output& output) override { return import_->parsed() ? Import(output) : Export(output); }

private:
    int Import(Output& output) {
        std::atomic<bool> stop{false};
        // Read before the database is locked: fetching the sitemaps may take a while.
        SitemapImport sitemap;
        {
            InterruptScope interrupt(stop);
            sitemap = ReadSitemapImport(source_, ProgramSettings().Connection(), &stop);
        }
        const SitemapRead& read = sitemap.read;
        if (read.outcome.cancelled()) {
            throw CommandFailure(kExitCancelled, "cancelled: nothing was imported");
        }
        if (!read.ok()) {
            throw CommandFailure(kExitUsage, read.outcome.text);
        }
        DatabaseAccess access(DatabaseAccess::Mode::Write);
        UrlDatabase& db = access.db();
        const std::size_t first = db.recordCount();
        ChooseSitemapAdditions(sitemap, db);
        const std::size_t skipped = sitemap.skipped;
        for (const std::string& address : sitemap.toAdd) {
            db.AppendUrl(address);
        }
        access.Save();
        if (output.json()) {
            nlohmann::json rows = nlohmann::json::array();
            for (std::size_t i = first; i < db.recordCount(); ++i) {
                rows.push_back(RowJson(db, i));
            }
            output.PrintJson({{"added", rows}, {"skipped", skipped}, {"warnings", read.warnings}});
            return kExitDone;
        }
        for (const std::string& warning : read.warnings) {
            output.Message(warning);
        }
        PrintRows(output, db, first, "added");
        if (skipped > 0) {
            output.Message(std::to_string(skipped) + " addresses already in the database were skipped");
        }
        return kExitDone;
    }

    int Export(Output& output) {
        DatabaseAccess access(DatabaseAccess::Mode::Read);
        const SitemapExport written = ExportSitemap(access.db(), file_);
        if (!written.ok()) {
            throw CommandFailure(kExitData, written.outcome.text);
        }
        if (output.json()) {
            nlohmann::json warnings = nlohmann::json::array();
            if (!written.warning.empty()) {
                warnings.push_back(written.warning);
            }
            output.PrintJson({{"file", file_}, {"addresses", written.addresses}, {"warnings", warnings}});
            return kExitDone;
        }
        if (!written.warning.empty()) {
            output.Message(written.warning);
        }
        output.out() << "wrote " << written.addresses << " addresses to " << file_ << "\n";
        return kExitDone;
    }

    CLI::App* import_ = nullptr;
    CLI::App* export_ = nullptr;
    std::string source_;
    std::string file_;
};

class EmailCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        address_ = command.add_option("ADDRESS", email_, "The new e-mail address (\"\" empties it)");
    }

    int Run(Output& output) override {
        const bool change = address_->count() > 0;
        DatabaseAccess access(change ? DatabaseAccess::Mode::Write : DatabaseAccess::Mode::Read);
        if (change) {
            access.db().setEmail(email_);
            access.Save();
        }
        if (output.json()) {
            output.PrintJson({{"email", access.db().email()}});
        } else {
            output.out() << access.db().email() << "\n";
        }
        return kExitDone;
    }

private:
    CLI::Option* address_ = nullptr;
    std::string email_;
};

} // namespace

std::unique_ptr<Command> MakeListCommand() {
    return std::make_unique<ListCommand>();
}
std::unique_ptr<Command> MakeAddCommand() {
    return std::make_unique<AddCommand>();
}
std::unique_ptr<Command> MakeRemoveCommand() {
    return std::make_unique<RemoveCommand>();
}
std::unique_ptr<Command> MakeImportCommand() {
    return std::make_unique<ImportCommand>();
}
std::unique_ptr<Command> MakeSitemapCommand() {
    return std::make_unique<SitemapCommand>();
}
std::unique_ptr<Command> MakeEmailCommand() {
    return std::make_unique<EmailCommand>();
}

} // namespace sendwell::cli
