#include "core/meta/meta_writer.h"

#include "core/base/ascii_case.h"
#include "core/base/char_sets.h"
#include "core/base/hosts.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPieceSeparators = " ,\t\n<>=\"";

bool EqualsUpper(std::string_view piece, std::string_view upperWord) {
    if (piece.size() != upperWord.size()) {
        return false;
    }
    for (std::size_t i = 0; i < piece.size(); ++i) {
        if (AsciiUpper(piece[i]) != upperWord[i]) {
            return false;
        }
    }
    return true;
}

bool Contains(const std::string& text, std::string_view word) {
    return text.find(word) != std::string::npos;
}

bool IsHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The element name of the tag at text[at] == '<', as written.
std::string_view ElementName(std::string_view text, std::size_t at) {
    std::size_t end = at + 1;
    while (end < text.size() && !IsHtmlSpace(text[end]) && text[end] != '/' && text[end] != '>') {
        ++end;
    }
    return text.substr(at + 1, end - at - 1);
}

// A start tag's extent and the two attributes the writer cares about (the first of each, as browsers
// take them).
struct StartTag {
    std::size_t end = 0; // just past its ">", or the end of the text
    std::optional<std::string_view> name;
    std::optional<std::string_view> content;
};

// Reads the attributes of the start tag at text[at] == '<'. With wholeText, a quoted value may hold ">"
// (the tag then ends at the ">" after it), but its closing quote must come before the next "<", or the
// read fails: a stray quote must not swallow the markup after it. Without wholeText, text is the tag's
// token (up to its first ">") and an unclosed value runs to that ">".
std::optional<StartTag> ReadStartTag(std::string_view text, std::size_t at, bool wholeText) {
    const std::size_t n = text.size();
    std::size_t nextTag = 0; // the next "<" at or after a quoted value; found again only once passed
    StartTag tag;
    std::size_t i = at + 1 + ElementName(text, at).size();
    for (;;) {
        while (i < n && (IsHtmlSpace(text[i]) || text[i] == '/')) {
            ++i;
        }
        if (i >= n) {
            tag.end = n;
            return tag;
        }
        if (text[i] == '>') {
            tag.end = i + 1;
            return tag;
        }
        const std::size_t nameStart = i++; // a leading "=" belongs to the name
        while (i < n && !IsHtmlSpace(text[i]) && text[i] != '/' && text[i] != '>' && text[i] != '=') {
            ++i;
        }
        const std::string_view attribute = text.substr(nameStart, i - nameStart);
        while (i < n && IsHtmlSpace(text[i])) {
            ++i;
        }
        std::string_view value; // an attribute written without one has ""
        if (i < n && text[i] == '=') {
            ++i;
            while (i < n && IsHtmlSpace(text[i])) {
                ++i;
            }
            if (i < n && (text[i] == '"' || text[i] == '\'')) {
                const char quote = text[i++];
                std::size_t bound = n;
                if (wholeText) {
                    if (nextTag < i) {
                        nextTag = text.find('<', i);
                    }
                    bound = std::min(nextTag, n);
                }
                const std::size_t close = text.substr(i, bound - i).find(quote);
                if (close != std::string_view::npos) {
                    value = text.substr(i, close);
                    i += close + 1;
                } else if (wholeText) {
                    return std::nullopt;
                } else {
                    const std::size_t valueEnd = text.back() == '>' ? n - 1 : n;
                    value = text.substr(i, valueEnd - i);
                    i = valueEnd;
                }
            } else {
                const std::size_t valueStart = i;
                while (i < n && !IsHtmlSpace(text[i]) && text[i] != '>') {
                    ++i;
                }
                value = text.substr(valueStart, i - valueStart);
            }
        }
        if (!tag.name && EqualsUpper(attribute, "NAME")) {
            tag.name = value;
        } else if (!tag.content && EqualsUpper(attribute, "CONTENT")) {
            tag.content = value;
        }
    }
}

// Where the text of a raw-text element ends: at its end tag, or at the end of the page.
std::size_t RawTextEnd(std::string_view text, std::size_t from, std::string_view element) {
    for (std::size_t at = text.find("</", from); at != std::string_view::npos; at = text.find("</", at + 2)) {
        const std::size_t after = at + 2 + element.size();
        if (AsciiStartsWithNoCase(text.substr(at + 2), element) &&
            (after == text.size() || IsHtmlSpace(text[after]) || text[after] == '/' || text[after] == '>')) {
            return at;
        }
    }
    return text.size();
}

// Elements whose text holds no tags: a META tag written there is text, not an element.
constexpr std::string_view kRawTextElements[] = {"SCRIPT", "STYLE", "TEXTAREA", "TITLE"};

struct FoundTag {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::optional<std::string_view> content;
};

// The META elements of the page whose NAME is upperName, in page order. Tags are the reader's tokens
// that start with "<"; comments and raw text are skipped whole.
std::vector<FoundTag> FindMetaTags(std::string_view text, std::string_view upperName) {
    std::vector<FoundTag> found;
    for (std::size_t pos = text.find('<'); pos != std::string_view::npos;) {
        const std::size_t bracket = text.find('>', pos + 1);
        const std::size_t tokenEnd = bracket == std::string_view::npos ? text.size() : bracket + 1;
        std::size_t next = tokenEnd;
        if (text.substr(pos).starts_with("<!--")) {
            const std::size_t commentEnd = text.find("-->", pos + 2);
            next = commentEnd == std::string_view::npos ? text.size() : commentEnd + 3;
        } else {
            const std::string_view element = ElementName(text, pos);
            const bool meta = EqualsUpper(element, "META");
            const bool raw = std::any_of(std::begin(kRawTextElements), std::end(kRawTextElements),
                                         [&](std::string_view e) { return EqualsUpper(element, e); });
            if (meta || raw) {
                std::optional<StartTag> tag = ReadStartTag(text, pos, true);
                if (!tag) {
                    tag = ReadStartTag(text.substr(0, tokenEnd), pos, false);
                }
                next = tag->end;
                if (meta && tag->name && EqualsUpper(TrimAny(*tag->name, kHtmlSpace), upperName)) {
                    found.push_back({pos, tag->end - pos, tag->content});
                }
                if (raw) {
                    next = RawTextEnd(text, tag->end, element);
                }
            }
        }
        pos = text.find('<', next);
    }
    return found;
}

// The page with each found tag replaced by a tag line holding the new content and, as mode says, the
// tag's own content as its words; a tag without CONTENT is taken out. Every other byte stays.
RewrittenPage ReplaceTags(std::string_view text, const std::vector<FoundTag>& tags,
                          std::string_view upperName, std::string_view content, InsertMode mode) {
    const std::string_view separator = upperName == "KEYWORDS" ? "," : " ";
    RewrittenPage page;
    page.change = TagChange::Dropped;
    std::size_t copied = 0;
    for (const FoundTag& tag : tags) {
        page.text += text.substr(copied, tag.offset - copied);
        std::string line;
        if (tag.content) {
            std::string existing;
            ForEachPiece(*tag.content, kPieceSeparators, /*keepEmpty=*/false, [&](std::string_view piece) {
                if (!existing.empty()) {
                    existing += separator;
                }
                existing += piece;
            });
            std::string merged;
            switch (mode) {
            case InsertMode::Before:
                merged = std::string(content) + std::string(separator) + existing;
                break;
            case InsertMode::After:
                merged = existing + std::string(separator) + std::string(content);
                break;
            case InsertMode::Replace:
                merged = std::string(content);
                break;
            }
            line = MetaTagLine(upperName, merged);
            page.change = TagChange::Written;
        }
        page.text += line;
        page.replaced.push_back({tag.offset, tag.length, std::move(line)});
        copied = tag.offset + tag.length;
    }
    page.text += text.substr(copied);
    return page;
}

RewrittenPage InsertTag(std::string_view text, std::string_view name, std::string_view content) {
    const std::string line = MetaTagLine(name, content);
    RewrittenPage page;
    bool placed = false;
    TokenReader reader(text);
    for (std::string token = reader.ReadToken(); !token.empty(); token = reader.ReadToken()) {
        page.text += token;
        if (Contains(AsciiUpper(token), "<HEAD>")) {
            page.text += line;
            placed = true;
        }
    }
    if (!placed) {
        // No HEAD: one goes in right after the HTML tag.
        page.text.clear();
        TokenReader again(text);
        for (std::string token = again.ReadToken(); !token.empty(); token = again.ReadToken()) {
            page.text += token;
            if (Contains(AsciiUpper(token), "<HTML>")) {
                page.text += "\n<HEAD>\n" + line + "\n</HEAD>\n";
                placed = true;
            }
        }
    }
    if (!placed) {
        return {std::string(text), TagChange::NoPlace, {}};
    }
    page.change = TagChange::Written;
    return page;
}

} // namespace

ReadStatus ReadPage(const fs::path& file, PageText& page) {
    std::string bytes;
    const ReadStatus status = ReadWholeFile(file, bytes);
    page = PageText{};
    if (status != ReadStatus::Ok) {
        return status;
    }
    std::size_t crlf = 0;
    std::size_t lf = 0;
    page.text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            ++crlf;
            continue;
        }
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            ++lf;
        }
        page.text += bytes[i];
    }
    page.crlf = crlf > 0 && crlf >= lf;
    return ReadStatus::Ok;
}

std::string PageBytes(const PageText& page) {
    if (!page.crlf) {
        return page.text;
    }
    std::string bytes;
    bytes.reserve(page.text.size() + page.text.size() / 16);
    for (char c : page.text) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    return bytes;
}

std::vector<std::string> PageLines(std::string_view text) {
    return SplitAny(text, "\n", /*keepEmpty=*/true);
}

std::string TokenReader::ReadToken() {
    std::string token;
    bool inTag = false;
    bool textSeen = false;
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (textSeen && c == '<') {
            return token; // a text run ends before the next tag
        }
        ++pos_;
        token += c;
        if (c == '<' && !textSeen) {
            inTag = true;
        } else if (c == '>') {
            return token;
        } else if (!inTag) {
            textSeen = true;
        }
    }
    return token;
}

bool HasMetaTag(std::string_view text, std::string_view name) {
    const std::string upperName = AsciiUpper(name);
    int stage = 0;
    bool found = false;
    TokenReader reader(text);
    for (std::string token = reader.ReadToken(); !token.empty() && !found; token = reader.ReadToken()) {
        ForEachPiece(token, kPieceSeparators, /*keepEmpty=*/false, [&](std::string_view piece) {
            if (EqualsUpper(piece, "META")) {
                stage = 1;
            } else if (stage == 1 && EqualsUpper(piece, "NAME")) {
                stage = 2;
            } else if (stage == 2 && EqualsUpper(piece, upperName)) {
                found = true;
            }
        });
    }
    return found;
}

std::string MetaTagLine(std::string_view name, std::string_view content) {
    std::string line = "<META NAME=\"";
    line += name;
    line += "\" CONTENT=\"";
    line += content;
    line += "\">\n";
    return line;
}

RewrittenPage RewriteMetaTag(std::string_view text, std::string_view name, std::string_view content,
                             InsertMode mode) {
    const std::string upperName = AsciiUpper(name);
    const std::vector<FoundTag> tags = FindMetaTags(text, upperName);
    return tags.empty() ? InsertTag(text, name, content) : ReplaceTags(text, tags, upperName, content, mode);
}

bool FileExists(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno != ENOENT;
    }
    ::close(fd);
    return true;
}

std::string NewPageTemplate() {
    const char* const lines[] = {
        "<HTML>",
        "<HEAD>",
        "</HEAD>",
        "<B>The meta tags are in the body of this web page.</B><BR>",
        "To view them, simply click VIEW->SOURCE.<BR>",
        "Replace this text with your own web page text.",
        "</HTML>",
    };
    std::string page =
        "<!-- Web page meta tags created with Tagwright!, http://" + HostFor("Vendor") + " -->\n";
    for (const char* line : lines) {
        page += line;
        page += '\n';
    }
    return page;
}

bool IsWritable(const fs::path& file) {
    // A file without any write permission is read-only even for a user the system would let through.
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        return false;
    }
    return (st.st_mode & 0222) != 0 && ::access(file.c_str(), W_OK) == 0;
}

PageWrite WriteMetaTag(const fs::path& file, std::string_view name, std::string_view content, InsertMode mode,
                       const std::function<bool()>& beforeChange, const FileWriter& writer) {
    PageText page;
    if (ReadPage(file, page) != ReadStatus::Ok) {
        return PageWrite::Unreadable;
    }
    RewrittenPage rewritten = RewriteMetaTag(page.text, name, content, mode);
    if (rewritten.change == TagChange::NoPlace) {
        return PageWrite::NoPlace;
    }
    if (!IsWritable(file)) {
        return PageWrite::ReadOnly;
    }
    if (beforeChange && !beforeChange()) {
        return PageWrite::NotBackedUp;
    }
    page.text = std::move(rewritten.text);
    if (!ReplaceFileAtomically(file, PageBytes(page), writer)) {
        return PageWrite::Failed;
    }
    return rewritten.change == TagChange::Written ? PageWrite::Written : PageWrite::Dropped;
}

} // namespace sendwell
