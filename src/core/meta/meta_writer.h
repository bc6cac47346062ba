// Puts KEYWORDS and DESCRIPTION meta tags into a web page on the local disk. The page is read as tokens
// (a tag from "<" to ">", or a run of text up to the next "<"), the tag is replaced or a new one inserted
// after "<HEAD>" (or in a new HEAD after "<HTML>"), and the page is replaced whole: a temporary file
// beside it is written and renamed over it, so a failure never leaves a half-written page.
#pragma once

#include "core/base/atomic_file.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

enum class InsertMode { After = 0, Before = 1, Replace = 2 };

// A page as the writer works on it: line ends are line feeds, whatever the file uses; crlf says whether
// they go back to the file as CR LF.
struct PageText {
    std::string text;
    bool crlf = false;
};

// Reads a page file. A carriage return before a line feed is dropped; the page is written back with
// the line end most of its lines use (CR LF on a tie).
ReadStatus ReadPage(const std::filesystem::path& file, PageText& page);
// The page's bytes for its file.
std::string PageBytes(const PageText& page);
// The page as a list of lines, as the meta scanner reads pages.
std::vector<std::string> PageLines(std::string_view text);

// Hands out the tokens of a text one by one.
class TokenReader {
public:
    explicit TokenReader(std::string_view text) : text_(text) {}
    // The next token; "" at the end.
    std::string ReadToken();

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// True when, after a "META" piece and a later "NAME" piece anywhere in the text, a piece equals name.
// Pieces are the parts of tokens between blanks, commas, tabs, line feeds, "<", ">", "=" and quotes;
// all words are compared without regard to case.
bool HasMetaTag(std::string_view text, std::string_view name);

// "<META NAME=\"name\" CONTENT=\"content\">\n"
std::string MetaTagLine(std::string_view name, std::string_view content);

enum class TagChange {
    Written, // the tag line is in the page
    Dropped, // the only tags of that name had no CONTENT: they were taken out, nothing was written
    NoPlace, // no "<HEAD>" and no "<HTML>" to put a new tag after: the page is unchanged
};

// A tag the rewrite replaced: where it was in the page and the line put in its place ("" when it had no
// CONTENT and was taken out).
struct ReplacedTag {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::string line;
};

struct RewrittenPage {
    std::string text;
    TagChange change = TagChange::Written;
    std::vector<ReplacedTag> replaced; // in page order; empty when a tag was inserted
};

// The page with every META element whose NAME attribute is name replaced (attributes in any order, their
// values in any quotes or none, words in any case; tags inside comments, scripts and styles are text),
// or, without one, with a new tag inserted after "<HEAD>" or, failing that, in a new HEAD after "<HTML>".
// mode decides where the new content goes beside the tag's own. Every byte outside the replaced tags
// stays as it was. A replaced tag's name is written in upper case, an inserted one as given.
RewrittenPage RewriteMetaTag(std::string_view text, std::string_view name, std::string_view content,
                             InsertMode mode);

// False only when the file cannot be opened because nothing is at the path.
bool FileExists(const std::filesystem::path& file);

// The small page written when the user picks a file that does not exist yet.
std::string NewPageTemplate();

enum class PageWrite {
    Written,
    Dropped,
    NoPlace,     // nothing written
    Unreadable,  // nothing written
    ReadOnly,    // nothing written
    Failed,      // the page could not be replaced; it is as it was
    NotBackedUp, // beforeChange refused; nothing written
};

// Rewrites the page file with RewriteMetaTag. beforeChange runs just before the page is replaced
// (the caller's backup); when it returns false the page is left alone. writer writes the new bytes.
PageWrite WriteMetaTag(const std::filesystem::path& file, std::string_view name, std::string_view content,
                       InsertMode mode, const std::function<bool()>& beforeChange = {},
                       const FileWriter& writer = WriteAllToFd);

// True when the user may write the existing file.
bool IsWritable(const std::filesystem::path& file);

} // namespace sendwell
