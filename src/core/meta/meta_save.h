// The Save flow of the suggested keywords: the user picks a page, its backup is kept beside it as
// "<page>_OLD", the keywords go in before, after or instead of the page's own, and then the page's
// description is offered for editing and written too. A page that does not exist yet is made first.
#pragma once

#include "core/base/atomic_file.h"
#include "core/base/prompt.h"
#include "core/meta/meta_scanner.h"
#include "core/meta/meta_writer.h"

#include <filesystem>
#include <optional>
#include <string>

namespace sendwell {

inline constexpr const char* kConfirmCancelSaveText = "Are you sure you want to CANCEL saving?";
inline constexpr const char* kSavedText =
    "Meta tags were updated successfully. A backup of your original web page was saved as:\n";
inline constexpr const char* kNewPageSavedText =
    "Meta tags were updated successfully. The new web page was saved as:\n";

// The windows the flow asks. Each returns nothing when the user cancels.
class MetaSaveWindows {
public:
    virtual ~MetaSaveWindows() = default;
    virtual std::optional<std::filesystem::path> ChooseTargetPage() = 0;
    virtual std::optional<InsertMode> ChooseInsertMode() = 0; // "Inserting New Keywords"
    virtual bool ConfirmCancelSaving() = 0;                   // true for Yes
    virtual std::optional<std::string> EditDescription(const std::string& description) = 0;
};

// Runs the whole Save flow for keywords (the chosen entries joined by ","). The description is read
// with scanner. Whatever was or was not written is reported through messages. writer writes every file.
void SaveMetaTags(const std::string& keywords, MetaSaveWindows& windows, Prompt& messages,
                  MetaScanner& scanner, const FileWriter& writer = WriteAllToFd);

} // namespace sendwell
