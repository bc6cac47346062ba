#include "core/sitemap/sitemap_reader.h"

#include "core/base/ascii_case.h"
#include "core/base/atomic_file.h"
#include "core/base/char_sets.h"
#include "core/web/page_fetcher.h"
#include "core/web/transfer.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <pugixml.hpp>
#include <set>
#include <zlib.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// The tree budget of the read running on this thread (see SitemapLimits::treeBytes).
thread_local std::size_t treeBudget = 0;
thread_local bool treeBudgetSet = false;

struct alignas(std::max_align_t) AllocationHead {
    std::size_t size;
};

void* BudgetedAllocate(std::size_t size) {
    if (treeBudgetSet) {
        if (size > treeBudget) {
            return nullptr;
        }
        treeBudget -= size;
    }
    auto* head = static_cast<AllocationHead*>(std::malloc(sizeof(AllocationHead) + size));
    if (head == nullptr) {
        return nullptr;
    }
    head->size = size;
    return head + 1;
}

void BudgetedDeallocate(void* block) {
    if (block == nullptr) {
        return;
    }
    AllocationHead* head = static_cast<AllocationHead*>(block) - 1;
    if (treeBudgetSet) {
        treeBudget += head->size;
    }
    std::free(head);
}

// Sets the budget for the parses of one scope on this thread.
class TreeBudget {
public:
    explicit TreeBudget(std::size_t bytes) {
        static std::once_flag installed;
        std::call_once(installed,
                       [] { pugi::set_memory_management_functions(BudgetedAllocate, BudgetedDeallocate); });
        treeBudget = bytes;
        treeBudgetSet = true;
    }
    ~TreeBudget() { treeBudgetSet = false; }
    TreeBudget(const TreeBudget&) = delete;
    TreeBudget& operator=(const TreeBudget&) = delete;
};

std::string_view Trim(std::string_view text) {
    return TrimAny(text, kAsciiSpace);
}

bool IsGzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// The text after a byte-order mark and leading blanks.
std::string_view Content(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    return Trim(bytes);
}

// An element's name without its namespace prefix: "sm:loc" is "loc".
std::string_view LocalName(const char* name) {
    std::string_view text(name);
    const std::size_t colon = text.rfind(':');
    return colon == std::string_view::npos ? text : text.substr(colon + 1);
}

pugi::xml_node ChildNamed(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && LocalName(child.name()) == name) {
            return child;
        }
    }
    return {};
}

// The whole text of an element, its character data and CDATA sections joined.
std::string ElementText(pugi::xml_node element) {
    std::string text;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            text += child.value();
        }
    }
    return text;
}

// Well-formed UTF-8 without a control character (C0, DEL or C1): such an address would reach the
// database and, printed, the user's terminal.
bool IsPrintableUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7f) {
                return false;
            }
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
            code = lead & 0x1fU;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
            code = lead & 0x0fU;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
            code = lead & 0x07U;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0U) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3fU);
        }
        // Overlong forms, surrogates, past U+10FFFF, and the C1 controls.
        const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < least || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff || code <= 0x9f) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string MegabytesText(std::uint64_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

// Collects a response body up to a number of bytes.
class BoundedSink final : public BodySink {
public:
    BoundedSink(std::string& body, std::uint64_t limit) : body_(body), limit_(limit) {}
    bool Begin(int status, const std::vector<std::string>&) override {
        status_ = status;
        body_.clear();
        return true;
    }
    bool Write(std::string_view bytes) override {
        if (body_.size() + bytes.size() > limit_) {
            tooLarge_ = true;
            return false;
        }
        body_.append(bytes);
        return true;
    }
    std::string failureText() const override {
        return tooLarge_ ? "larger than " + MegabytesText(limit_) : std::string();
    }
    int status() const { return status_; }
    bool tooLarge() const { return tooLarge_; }

private:
    std::string& body_;
    std::uint64_t limit_;
    int status_ = 0;
    bool tooLarge_ = false;
};

class Reader {
public:
    Reader(const SitemapOptions& options, bool follow) : options_(options), follow_(follow) {}

    SitemapRead Run(const std::string& source) {
        TreeBudget budget(options_.limits.treeBytes);
        Read(source, 0, true);
        return Finish();
    }

    SitemapRead RunBytes(std::string_view bytes, const std::string& name) {
        TreeBudget budget(options_.limits.treeBytes);
        std::string text;
        if (Unpack(bytes, name, text)) {
            Parse(text, name, {}, false, 0, true);
        }
        return Finish();
    }

private:
    SitemapRead Finish() {
        if (leftOut_ > 0) {
            result_.warnings.push_back(std::to_string(leftOut_) + " sitemaps past the first " +
                                       std::to_string(options_.limits.maxFiles) + " were not read.");
        }
        if (refusedLocs_ > 0) {
            result_.warnings.push_back(std::to_string(refusedLocs_) +
                                       (refusedLocs_ == 1 ? " address was" : " addresses were") +
                                       " left out: they hold control characters or bytes that are not "
                                       "UTF-8.");
        }
        if (tooDeep_) {
            result_.warnings.push_back("Sitemap indexes nested more than " +
                                       std::to_string(options_.limits.maxDepth) + " deep were not read.");
        }
        if (cancelled_) {
            result_.outcome.end = Outcome::End::Cancelled;
        } else if (failed_) {
            result_.outcome.end = Outcome::End::Failed;
        } else {
            result_.outcome.end = Outcome::End::Ok;
        }
        if (!result_.ok()) {
            result_.addresses.clear();
            result_.lastModified.clear();
            result_.warnings.clear();
        }
        return std::move(result_);
    }

    bool Fail(std::string text) {
        if (!failed_) {
            result_.outcome.text = std::move(text);
        }
        failed_ = true;
        return false;
    }

    bool Stopped() {
        cancelled_ =
            cancelled_ || (options_.stop != nullptr && options_.stop->load(std::memory_order_relaxed));
        return cancelled_;
    }

    // Reads one source and what it names; false ends the whole read.
    bool Read(const std::string& source, int depth, bool top) {
        if (Stopped()) {
            return false;
        }
        const bool remote = IsHttpAddress(source);
        std::error_code ec;
        const fs::path path = remote ? fs::path() : fs::weakly_canonical(fs::path(source), ec);
        // A source named again (an index naming itself, two indexes naming each other) is read once.
        if (!seen_.insert(remote || ec ? source : path.string()).second) {
            return true;
        }
        if (depth > options_.limits.maxDepth) {
            tooDeep_ = true;
            return true;
        }
        if (files_ >= options_.limits.maxFiles) {
            ++leftOut_;
            return true;
        }
        ++files_;
        std::string raw;
        if (!(remote ? Fetch(source, raw) : Load(source, raw))) {
            return false;
        }
        std::string text;
        if (!Unpack(raw, source, text)) {
            return false;
        }
        std::string().swap(raw);
        return Parse(text, source, remote ? fs::path() : fs::path(source).parent_path(), remote, depth, top);
    }

    std::uint64_t Remaining() const {
        return options_.limits.totalBytes - std::min(used_, options_.limits.totalBytes);
    }

    bool Load(const std::string& source, std::string& bytes) {
        std::error_code ec;
        const auto size = fs::file_size(source, ec);
        if (!ec && size > Remaining()) {
            return Fail(source + " is larger than " + MegabytesText(options_.limits.totalBytes) +
                        "; nothing was imported.");
        }
        switch (ReadWholeFile(source, bytes)) {
        case ReadStatus::Ok:
            return true;
        case ReadStatus::Missing:
            return Fail(source + " was not found.");
        case ReadStatus::Unreadable:
            break;
        }
        return Fail(source + " cannot be read.");
    }

    bool Fetch(const std::string& url, std::string& body) {
        TransferSetup setup = PageRequestSetup(options_.connection, options_.requests);
        // The page fetch's request, except that a sitemap is XML or gzip rather than text.
        setup.getHeaders = {"Accept: */*", kUserAgentHeader, "Proxy-Connection:"};
        setup.redirects = RedirectRule::Browser(5);
        setup.stop = options_.stop;
        HttpTransfer transfer(std::move(setup));
        if (!transfer.ready()) {
            return Fail(url + " cannot be fetched: no connection could be set up.");
        }
        BoundedSink sink(body, Remaining());
        TransferRequest request;
        request.url = url;
        request.sink = &sink;
        const TransferResult result = transfer.Perform(request);
        if (Stopped()) {
            return false;
        }
        if (sink.tooLarge()) {
            return Fail(url + " is larger than " + MegabytesText(options_.limits.totalBytes) +
                        "; nothing was imported.");
        }
        if (!result.ok()) {
            return Fail(url + " cannot be fetched: " + result.error);
        }
        if (result.status != 200) {
            return Fail(url + " answered " + std::to_string(result.status) + " instead of the sitemap.");
        }
        return true;
    }

    // The bytes as text: gzip (recognised by its first bytes, whatever the name) is inflated within
    // what is left of the byte budget.
    bool Unpack(std::string_view raw, const std::string& name, std::string& text) {
        if (!IsGzip(raw)) {
            if (raw.size() > Remaining()) {
                return Fail(name + " is larger than " + MegabytesText(options_.limits.totalBytes) +
                            "; nothing was imported.");
            }
            text.assign(raw);
            used_ += text.size();
            return true;
        }
        z_stream z{};
        if (inflateInit2(&z, 15 + 16) != Z_OK) {
            return Fail(name + " cannot be uncompressed.");
        }
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
        z.avail_in = static_cast<uInt>(std::min<std::size_t>(raw.size(), 1U << 30));
        std::size_t inLeft = raw.size() - z.avail_in;
        const std::uint64_t limit = Remaining();
        char chunk[64 * 1024];
        bool ok = true;
        std::string failure;
        for (;;) {
            z.next_out = reinterpret_cast<Bytef*>(chunk);
            z.avail_out = sizeof chunk;
            const int status = inflate(&z, Z_NO_FLUSH);
            const std::size_t produced = sizeof chunk - z.avail_out;
            if (text.size() + produced > limit) {
                ok = false;
                failure = name + " uncompresses to more than " + MegabytesText(options_.limits.totalBytes) +
                          "; nothing was imported.";
                break;
            }
            text.append(chunk, produced);
            if (z.avail_in == 0 && inLeft > 0) {
                const std::size_t more = std::min<std::size_t>(inLeft, 1U << 30);
                z.avail_in = static_cast<uInt>(more);
                inLeft -= more;
            }
            if (status == Z_STREAM_END) {
                // Another gzip member may follow, as in files joined with cat.
                const std::size_t consumed = raw.size() - inLeft - z.avail_in;
                if (!IsGzip(raw.substr(consumed)) || inflateReset(&z) != Z_OK) {
                    break;
                }
                continue;
            }
            if (status == Z_OK || (status == Z_BUF_ERROR && z.avail_in > 0)) {
                continue;
            }
            ok = false;
            failure = status == Z_BUF_ERROR ? name + " is cut short: its compressed data ends too early."
                                            : name + " is not valid gzip data.";
            break;
        }
        inflateEnd(&z);
        if (!ok) {
            return Fail(failure);
        }
        used_ += text.size();
        return true;
    }

    bool Parse(std::string& text, const std::string& name, const fs::path& folder, bool remote, int depth,
               bool top) {
        const std::string_view content = Content(text);
        if (content.empty() || content.front() != '<') {
            if (top) {
                return ParseRobots(content, name, folder, remote, depth);
            }
            return Fail(name + " is not a sitemap: it holds no XML.");
        }
        if (text.size() > kSitemapMaxBytes) {
            result_.warnings.push_back(
                name + " is " + std::to_string(text.size()) +
                " bytes uncompressed, more than the 50 MB a sitemap may be; it was read "
                "whole.");
        }
        pugi::xml_document document;
        const pugi::xml_parse_result parsed =
            document.load_buffer_inplace(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
        if (!parsed) {
            if (parsed.status == pugi::status_out_of_memory) {
                return Fail(name + " is too large to read in memory; nothing was imported.");
            }
            return Fail(name + " is not well-formed XML (" + parsed.description() + " at byte " +
                        std::to_string(parsed.offset) + "); nothing was imported.");
        }
        const pugi::xml_node root = document.document_element();
        const std::string_view rootName = LocalName(root.name());
        if (rootName == "urlset") {
            return ReadUrlset(root, name);
        }
        if (rootName == "sitemapindex") {
            std::vector<std::string> children;
            for (pugi::xml_node entry = root.first_child(); entry; entry = entry.next_sibling()) {
                if (entry.type() == pugi::node_element && LocalName(entry.name()) == "sitemap") {
                    const std::string loc(Trim(ElementText(ChildNamed(entry, "loc"))));
                    if (!loc.empty()) {
                        children.push_back(loc);
                    }
                }
            }
            document.reset(); // the tree is not needed while the children are read
            if (children.size() > kSitemapMaxAddresses) {
                result_.warnings.push_back(
                    name + " names " + std::to_string(children.size()) +
                    " sitemaps, more than the 50,000 an index may name; all were read.");
            }
            return ReadChildren(children, name, folder, remote, depth);
        }
        return Fail(name + " is not a sitemap: its root element is <" + std::string(root.name()) + ">.");
    }

    bool ReadUrlset(pugi::xml_node root, const std::string& name) {
        std::size_t count = 0;
        for (pugi::xml_node entry = root.first_child(); entry; entry = entry.next_sibling()) {
            if (entry.type() != pugi::node_element || LocalName(entry.name()) != "url") {
                continue;
            }
            const std::string loc(Trim(ElementText(ChildNamed(entry, "loc"))));
            if (loc.empty()) {
                continue;
            }
            ++count;
            if (IsPrintableUtf8(loc)) {
                result_.addresses.push_back(loc);
                result_.lastModified.emplace_back(Trim(ElementText(ChildNamed(entry, "lastmod"))));
            } else {
                ++refusedLocs_;
            }
        }
        if (count > kSitemapMaxAddresses) {
            result_.warnings.push_back(name + " holds " + std::to_string(count) +
                                       " addresses, more than the 50,000 a sitemap may hold; all were read.");
        }
        return true;
    }

    bool ParseRobots(std::string_view text, const std::string& name, const fs::path& folder, bool remote,
                     int depth) {
        std::vector<std::string> children;
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos || AsciiLower(Trim(line.substr(0, colon))) != "sitemap") {
                continue;
            }
            std::string_view value = Trim(line.substr(colon + 1));
            value = value.substr(0, value.find_first_of(" \t#"));
            if (!value.empty()) {
                children.emplace_back(value);
            }
        }
        if (children.empty()) {
            return Fail(name + " is neither a sitemap nor a robots.txt with \"Sitemap:\" lines.");
        }
        return ReadChildren(children, name, folder, remote, depth);
    }

    bool ReadChildren(const std::vector<std::string>& children, const std::string& name,
                      const fs::path& folder, bool remote, int depth) {
        if (!follow_) {
            return true;
        }
        for (const std::string& child : children) {
            std::string source = child;
            if (!IsHttpAddress(child)) {
                if (remote) {
                    return Fail(name + " names " + child + ", which is not an http or https address.");
                }
                if (AsciiStartsWithNoCase(child, "file://")) {
                    source = child.substr(7);
                }
                const fs::path path(source);
                source = path.is_absolute() ? path.string() : (folder / path).string();
            }
            if (!Read(source, depth + 1, false)) {
                return false;
            }
        }
        return true;
    }

    const SitemapOptions& options_;
    bool follow_;
    SitemapRead result_;
    std::set<std::string> seen_;
    std::uint64_t used_ = 0;
    std::size_t files_ = 0;
    std::size_t leftOut_ = 0;
    std::size_t refusedLocs_ = 0;
    bool tooDeep_ = false;
    bool failed_ = false;
    bool cancelled_ = false;
};

} // namespace

SitemapRead ReadSitemap(const std::string& source, const SitemapOptions& options) {
    try {
        return Reader(options, true).Run(source);
    } catch (const std::bad_alloc&) {
        SitemapRead failed;
        failed.outcome.text = source + " is too large to read in memory; nothing was imported.";
        return failed;
    }
}

SitemapRead ReadSitemapBytes(std::string_view bytes, const std::string& name, const SitemapLimits& limits) {
    SitemapOptions options;
    options.limits = limits;
    try {
        return Reader(options, false).RunBytes(bytes, name);
    } catch (const std::bad_alloc&) {
        SitemapRead failed;
        failed.outcome.text = name + " is too large to read in memory; nothing was imported.";
        return failed;
    }
}

bool LooksLikeSitemapFile(const std::string& path) {
    if (AsciiLower(fs::path(path).filename().string()) == "robots.txt") {
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    char head[4096];
    in.read(head, sizeof head);
    const std::string_view bytes(head, static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    if (IsGzip(bytes)) {
        return true;
    }
    const std::string_view content = Content(bytes);
    return !content.empty() && content.front() == '<' &&
           (content.find("urlset") != std::string_view::npos ||
            content.find("sitemapindex") != std::string_view::npos);
}

} // namespace sendwell
