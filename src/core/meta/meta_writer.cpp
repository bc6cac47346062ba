#include "core/meta/meta_writer.h"

#include "core/base/ascii_case.h"
#include "core/base/hosts.h"

#include <cerrno>
#include <fcntl.h>
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

// Calls visit with every non-empty piece of token.
template <typename Visit>
void ForEachPiece(std::string_view token, Visit&& visit) {
    std::size_t start = 0;
    while (start < token.size()) {
        const std::size_t stop = token.find_first_of(kPieceSeparators, start);
        const std::size_t end = stop == std::string_view::npos ? token.size() : stop;
        if (end > start) {
            visit(token.substr(start, end - start));
        }
        start = end + 1;
    }
}

bool Contains(const std::string& text, std::string_view word) {
    return text.find(word) != std::string::npos;
}

RewrittenPage ReplaceTag(std::string_view text, std::string_view name, std::string_view content,
                         InsertMode mode) {
    const std::string upperName = AsciiUpper(name);
    const std::string_view separator = upperName == "KEYWORDS" ? "," : " ";
    RewrittenPage page;
    page.change = TagChange::Dropped;
    TokenReader reader(text);
    for (std::string token = reader.ReadToken(); !token.empty(); token = reader.ReadToken()) {
        const std::string upper = AsciiUpper(token);
        const bool replaced =
            Contains(upper, "META") && Contains(upper, "NAME") && Contains(upper, upperName);

        int stage = 0;
        bool reachedContent = false;
        std::string existing;
        ForEachPiece(token, [&](std::string_view piece) {
            if (EqualsUpper(piece, "META")) {
                stage = 1;
            } else if (stage == 1 && EqualsUpper(piece, "NAME")) {
                stage = 2;
            } else if (stage == 2 && EqualsUpper(piece, upperName)) {
                stage = 3;
            } else if (stage == 3 && EqualsUpper(piece, "CONTENT")) {
                stage = 4;
                reachedContent = true;
            } else if (stage == 4) {
                if (!existing.empty()) {
                    existing += separator;
                }
                existing += piece;
            }
        });

        if (reachedContent) {
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
            page.text += MetaTagLine(upperName, merged);
            page.change = TagChange::Written;
        }
        if (!replaced) {
            page.text += token;
        }
    }
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
        return {std::string(text), TagChange::NoPlace};
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
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t stop = text.find('\n', start);
        const std::size_t end = stop == std::string_view::npos ? text.size() : stop;
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
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
        ForEachPiece(token, [&](std::string_view piece) {
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
    return HasMetaTag(text, name) ? ReplaceTag(text, name, content, mode) : InsertTag(text, name, content);
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
