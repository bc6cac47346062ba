#include "core/meta/meta_save.h"

#include "core/base/paths.h"
#include "core/meta/meta_analysis.h"

#include <vector>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// The page's lines, each ended by a line feed, the last one too.
std::string EndedLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (const std::string& line : PageLines(text)) {
        out += line;
        out += '\n';
    }
    return out;
}

} // namespace

void SaveMetaTags(const std::string& keywords, MetaSaveWindows& windows, Prompt& messages,
                  MetaScanner& scanner, const FileWriter& writer) {
    const std::optional<fs::path> target = windows.ChooseTargetPage();
    if (!target) {
        return;
    }
    const fs::path& page = *target;
    const fs::path backup = PageBackupPath(page);
    const std::string pageName = page.string();
    auto stop = [&](const std::string& text) {
        messages.ShowMessage(text, kMetaCaption, MessageIcon::Warning);
    };

    // The page as it was; its backup is written only once the page is about to change, so a save that
    // changes nothing leaves an older backup alone.
    std::optional<PageText> original;
    if (FileExists(page)) {
        PageText text;
        if (ReadPage(page, text) != ReadStatus::Ok) {
            stop("The web page could not be read, so nothing was saved:\n" + pageName);
            return;
        }
        if (!IsWritable(page)) {
            stop("The web page is read-only, so nothing was saved:\n" + pageName);
            return;
        }
        original = std::move(text);
    } else if (!ReplaceFileAtomically(page, NewPageTemplate(), writer)) {
        stop("The new web page could not be created:\n" + pageName);
        return;
    }

    bool backedUp = false;
    auto makeBackup = [&] {
        if (original && !backedUp) {
            // As private as the page, and never written through a link planted in its place.
            backedUp = WriteCopyAtomically(backup, page,
                                           PageBytes({EndedLines(original->text), original->crlf}), writer);
            return backedUp;
        }
        return true;
    };

    std::vector<std::string> problems;
    bool anyWritten = false;
    // False when the page cannot be worked on any more.
    auto write = [&](const std::string& name, const std::string& content, InsertMode mode) {
        switch (WriteMetaTag(page, name, content, mode, makeBackup, writer)) {
        case PageWrite::Written:
            anyWritten = true;
            return true;
        case PageWrite::Dropped:
            problems.push_back("The " + name + " tag was not written: the web page's " + name +
                               " tag has no CONTENT, so it was taken out.");
            return true;
        case PageWrite::NoPlace:
            problems.push_back("The " + name +
                               " tag was not added: the web page has neither a <HEAD> nor an <HTML> tag.");
            return true;
        case PageWrite::Unreadable:
            problems.push_back("The web page could not be read:\n" + pageName);
            return false;
        case PageWrite::ReadOnly:
            problems.push_back("The web page is read-only:\n" + pageName);
            return false;
        case PageWrite::Failed:
            problems.push_back("The web page could not be written:\n" + pageName);
            return false;
        case PageWrite::NotBackedUp:
            problems.push_back("The backup of the web page could not be saved as:\n" + backup.string());
            return false;
        }
        return false;
    };

    bool goOn = true;
    bool cancelled = false;
    PageText current;
    if (ReadPage(page, current) == ReadStatus::Ok && HasMetaTag(current.text, "Keywords")) {
        for (;;) {
            if (const std::optional<InsertMode> mode = windows.ChooseInsertMode()) {
                goOn = write("Keywords", keywords, *mode);
                break;
            }
            if (windows.ConfirmCancelSaving()) {
                cancelled = true;
                break;
            }
        }
    } else {
        goOn = write("Keywords", keywords, InsertMode::After);
    }

    if (goOn) {
        PageText again;
        ReadPage(page, again);
        const std::string description = scanner.GetDescription(PageLines(again.text));
        if (const std::optional<std::string> edited = windows.EditDescription(description)) {
            write("Description", *edited, InsertMode::Replace);
        }
    }

    if (problems.empty()) {
        if (!cancelled) {
            messages.ShowMessage(original ? kSavedText + backup.string() : kNewPageSavedText + pageName,
                                 kMetaCaption, MessageIcon::Information);
        }
        return;
    }
    std::string report = anyWritten ? "Not all meta tags were saved." : "No meta tags were saved.";
    for (const std::string& problem : problems) {
        report += "\n\n" + problem;
    }
    if (backedUp) {
        report += "\n\nA backup of your original web page was saved as:\n" + backup.string();
    } else if (original) {
        report += "\n\nThe web page was left unchanged.";
    }
    stop(report);
}

} // namespace sendwell
