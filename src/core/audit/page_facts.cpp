#include "core/audit/page_facts.h"

#include "core/audit/audit_address.h"
#include "core/base/ascii_case.h"
#include "core/base/char_sets.h"

#include <algorithm>
#include <cctype>
#include <gumbo.h>
#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_set>

namespace sendwell {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view text) {
    return TrimAny(text, kAsciiSpace);
}

std::string Collapse(std::string_view text) {
    std::string out;
    bool gap = false;
    for (char c : Trim(text)) {
        if (IsBlank(c)) {
            gap = true;
            continue;
        }
        if (gap) {
            out += ' ';
            gap = false;
        }
        out += c;
    }
    return out;
}

// Calls f(token) for each blank- or comma-separated token of text.
template <typename F>
void ForEachToken(std::string_view text, F&& f) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (IsBlank(text[i]) || text[i] == ',')) {
            ++i;
        }
        std::size_t end = i;
        while (end < text.size() && !IsBlank(text[end]) && text[end] != ',') {
            ++end;
        }
        if (end > i) {
            f(text.substr(i, end - i));
        }
        i = end;
    }
}

bool HasToken(std::string_view text, std::string_view token) {
    bool found = false;
    ForEachToken(text, [&](std::string_view t) { found = found || AsciiEqualNoCase(t, token); });
    return found;
}

// Robots directives ("noindex, nofollow" or "none") that keep a page out of the index.
bool SaysNoindex(std::string_view directives) {
    return HasToken(directives, "noindex") || HasToken(directives, "none");
}

// The charset parameter of a Content-Type value ("text/html; charset=UTF-8" -> "UTF-8").
std::string CharsetOf(std::string_view contentType) {
    std::size_t at = 0;
    while ((at = contentType.find(';', at)) != std::string_view::npos) {
        std::string_view param = Trim(contentType.substr(at + 1));
        param = param.substr(0, param.find(';'));
        const std::size_t eq = param.find('=');
        if (eq != std::string_view::npos && AsciiEqualNoCase(Trim(param.substr(0, eq)), "charset")) {
            std::string_view value = Trim(param.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return std::string(value);
        }
        ++at;
    }
    return {};
}

// Values of every head line named name.
std::vector<std::string_view> HeaderValues(const std::vector<std::string>& head, std::string_view name) {
    std::vector<std::string_view> values;
    for (const std::string& line : head) {
        const std::string_view view(line);
        if (view.size() > name.size() && view[name.size()] == ':' &&
            AsciiEqualNoCase(view.substr(0, name.size()), name)) {
            values.push_back(Trim(view.substr(name.size() + 1)));
        }
    }
    return values;
}

// The target of the first "rel=canonical" entry of Link header values, as written.
std::string HeaderCanonicalHref(const std::vector<std::string_view>& links) {
    for (std::string_view value : links) {
        // Entries are "<uri>; param; param", separated by commas outside the angle brackets.
        while (!value.empty()) {
            const std::size_t open = value.find('<');
            const std::size_t close = open == std::string_view::npos ? open : value.find('>', open);
            if (close == std::string_view::npos) {
                break;
            }
            const std::string_view uri = value.substr(open + 1, close - open - 1);
            std::string_view params = value.substr(close + 1);
            const std::size_t next = params.find('<');
            params = params.substr(0, next);
            value = next == std::string_view::npos ? std::string_view() : value.substr(close + 1 + next);
            std::size_t at = 0;
            while ((at = params.find(';', at)) != std::string_view::npos) {
                std::string_view param = params.substr(at + 1);
                param = param.substr(0, param.find_first_of(";,"));
                const std::size_t eq = param.find('=');
                if (eq != std::string_view::npos && AsciiEqualNoCase(Trim(param.substr(0, eq)), "rel")) {
                    std::string_view rel = Trim(param.substr(eq + 1));
                    if (rel.size() >= 2 && rel.front() == '"' && rel.back() == '"') {
                        rel = rel.substr(1, rel.size() - 2);
                    }
                    if (HasToken(rel, "canonical")) {
                        return std::string(uri);
                    }
                }
                ++at;
            }
        }
    }
    return {};
}

bool IsHtmlType(std::string_view contentType) {
    const std::string_view type = Trim(contentType.substr(0, contentType.find(';')));
    return type.empty() || AsciiEqualNoCase(type, "text/html") ||
           AsciiEqualNoCase(type, "application/xhtml+xml");
}

bool HasRedirectLoop(const FetchResult& result) {
    std::unordered_set<std::string_view> seen;
    for (const FetchHop& hop : result.chain) {
        if (!seen.insert(hop.url).second) {
            return true;
        }
    }
    if (!result.chain.empty() && !result.finalUrl.empty() && seen.contains(result.finalUrl)) {
        return true;
    }
    return !result.outcome.ok() && AsciiLower(result.outcome.text).find("redirect loop") != std::string::npos;
}

// An @type on every item: a typed object, an object whose @graph items are all typed, or an array of
// such objects.
bool IsTyped(const nlohmann::json& value) {
    if (value.is_array()) {
        return !value.empty() && std::all_of(value.begin(), value.end(), IsTyped);
    }
    if (!value.is_object()) {
        return false;
    }
    if (value.contains("@type")) {
        return true;
    }
    const auto graph = value.find("@graph");
    return graph != value.end() && IsTyped(*graph);
}

JsonLdScript ReadJsonLd(std::string_view text) {
    JsonLdScript script;
    try {
        const nlohmann::json value = nlohmann::json::parse(text);
        script.valid = true;
        script.typed = IsTyped(value);
    } catch (const nlohmann::json::exception& e) {
        script.error = e.what();
    }
    return script;
}

// Visible text, streamed: counts words and hashes the text with runs of blanks made one space, so
// the same words in different markup give the same hash.
class TextDigest {
public:
    void Add(std::string_view text) {
        for (char c : text) {
            if (IsBlank(c)) {
                Break();
                continue;
            }
            if (!inWord_) {
                if (words_ > 0) {
                    Mix(' ');
                }
                ++words_;
                inWord_ = true;
            }
            Mix(c);
        }
    }
    void Break() { inWord_ = false; }
    std::size_t words() const { return words_; }
    std::uint64_t hash() const { return words_ == 0 ? 0 : hash_; }

private:
    // FNV-1a: the same text gives the same hash in every run and on every machine.
    void Mix(char c) {
        hash_ ^= static_cast<unsigned char>(c);
        hash_ *= 0x100000001b3ULL;
    }
    std::uint64_t hash_ = 0xcbf29ce484222325ULL;
    std::size_t words_ = 0;
    bool inWord_ = false;
};

// Elements whose edges do not end a word ("<b>wo</b>rd" is one word).
bool IsInline(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_A:
    case GUMBO_TAG_ABBR:
    case GUMBO_TAG_B:
    case GUMBO_TAG_BDI:
    case GUMBO_TAG_BDO:
    case GUMBO_TAG_CITE:
    case GUMBO_TAG_CODE:
    case GUMBO_TAG_DATA:
    case GUMBO_TAG_DFN:
    case GUMBO_TAG_EM:
    case GUMBO_TAG_FONT:
    case GUMBO_TAG_I:
    case GUMBO_TAG_KBD:
    case GUMBO_TAG_MARK:
    case GUMBO_TAG_Q:
    case GUMBO_TAG_S:
    case GUMBO_TAG_SAMP:
    case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SPAN:
    case GUMBO_TAG_STRONG:
    case GUMBO_TAG_SUB:
    case GUMBO_TAG_SUP:
    case GUMBO_TAG_TIME:
    case GUMBO_TAG_U:
    case GUMBO_TAG_VAR:
    case GUMBO_TAG_WBR:
        return true;
    default:
        return false;
    }
}

// Elements whose text a reader never sees.
bool HidesText(GumboTag tag) {
    return tag == GUMBO_TAG_HEAD || tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE ||
           tag == GUMBO_TAG_NOSCRIPT || tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_TITLE;
}

std::string_view Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute != nullptr && attribute->value != nullptr ? std::string_view(attribute->value)
                                                               : std::string_view();
}

bool HasAttribute(const GumboElement& element, const char* name) {
    return gumbo_get_attribute(&element.attributes, name) != nullptr;
}

// All text below node, in order (a title's or a script's).
std::string TextBelow(const GumboNode* node) {
    std::string text;
    std::vector<const GumboNode*> stack{node};
    while (!stack.empty()) {
        const GumboNode* n = stack.back();
        stack.pop_back();
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA) {
            text += n->v.text.text;
        } else if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
            const GumboVector& children = n->v.element.children;
            for (unsigned i = children.length; i > 0; --i) {
                stack.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
            }
        }
    }
    return text;
}

struct ParseDeleter {
    void operator()(GumboOutput* output) const noexcept {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

// What the walk collects before addresses can be resolved: the document's base may come after links.
struct Pending {
    std::string_view base;
    std::vector<std::string_view> links;
    std::vector<std::string_view> loads; // images, scripts, style sheets, frames
    std::vector<std::pair<std::string_view, const GumboElement*>> images;
};

class PageWalker {
public:
    PageWalker(PageFacts& facts, Pending& pending) : facts_(facts), pending_(pending) {}

    void Walk(const GumboNode* root) {
        // An explicit stack: a page of deeply nested elements must not run out of call stack.
        struct Step {
            const GumboNode* node;
            bool leaving;
        };
        std::vector<Step> stack{{root, false}};
        int hidden = 0; // open elements whose text is not shown
        while (!stack.empty()) {
            const Step step = stack.back();
            stack.pop_back();
            const GumboNode* node = step.node;
            if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_CDATA ||
                node->type == GUMBO_NODE_WHITESPACE) {
                if (hidden == 0) {
                    text_.Add(node->v.text.text);
                }
                continue;
            }
            if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE &&
                node->type != GUMBO_NODE_DOCUMENT) {
                continue;
            }
            const bool element = node->type != GUMBO_NODE_DOCUMENT;
            const GumboTag tag = element ? node->v.element.tag : GUMBO_TAG_UNKNOWN;
            if (step.leaving) {
                hidden -= HidesText(tag) ? 1 : 0;
                if (!IsInline(tag)) {
                    text_.Break();
                }
                continue;
            }
            const GumboVector& children = element ? node->v.element.children : node->v.document.children;
            if (element) {
                ++facts_.elements;
                if (!IsInline(tag)) {
                    text_.Break();
                }
                hidden += HidesText(tag) ? 1 : 0;
                Visit(node);
                stack.push_back({node, true});
            }
            for (unsigned i = children.length; i > 0; --i) {
                stack.push_back({static_cast<const GumboNode*>(children.data[i - 1]), false});
            }
        }
        facts_.words = text_.words();
        facts_.textHash = text_.hash();
    }

private:
    void Visit(const GumboNode* node) {
        const GumboElement& e = node->v.element;
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML) {
            return; // an <svg> title or link is not the page's
        }
        switch (e.tag) {
        case GUMBO_TAG_HTML:
            facts_.lang = facts_.lang || !Trim(Attribute(e, "lang")).empty();
            break;
        case GUMBO_TAG_TITLE:
            facts_.titles.push_back(Collapse(TextBelow(node)));
            break;
        case GUMBO_TAG_BASE:
            if (pending_.base.empty() && HasAttribute(e, "href")) {
                pending_.base = Attribute(e, "href");
            }
            break;
        case GUMBO_TAG_META:
            VisitMeta(e);
            break;
        case GUMBO_TAG_LINK:
            VisitLink(e);
            break;
        case GUMBO_TAG_A:
        case GUMBO_TAG_AREA:
            if (HasAttribute(e, "href")) {
                pending_.links.push_back(Attribute(e, "href"));
            }
            break;
        case GUMBO_TAG_IMG:
            pending_.images.emplace_back(Attribute(e, "src"), &e);
            AddLoad(e, "src");
            break;
        case GUMBO_TAG_SCRIPT:
            AddLoad(e, "src");
            if (AsciiEqualNoCase(Trim(Attribute(e, "type").substr(0, Attribute(e, "type").find(';'))),
                                 "application/ld+json")) {
                facts_.jsonLd.push_back(ReadJsonLd(TextBelow(node)));
            }
            break;
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_FRAME:
            AddLoad(e, "src");
            break;
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
            facts_.headings.push_back(1 + static_cast<int>(e.tag - GUMBO_TAG_H1));
            break;
        default:
            break;
        }
    }

    void VisitMeta(const GumboElement& e) {
        const std::string_view name = Trim(Attribute(e, "name"));
        const std::string_view content = Attribute(e, "content");
        if (AsciiEqualNoCase(name, "description")) {
            facts_.descriptions.push_back(Collapse(content));
        } else if (AsciiEqualNoCase(name, "keywords")) {
            facts_.metaKeywords = true;
        } else if (AsciiEqualNoCase(name, "viewport")) {
            facts_.viewport = true;
        } else if (AsciiEqualNoCase(name, "robots") && SaysNoindex(content)) {
            facts_.metaNoindex = true;
        }
        // Open Graph tags use property=, though many pages write name=.
        const std::string_view property = HasAttribute(e, "property") ? Trim(Attribute(e, "property")) : name;
        if (!Trim(content).empty()) {
            facts_.ogTitle = facts_.ogTitle || AsciiEqualNoCase(property, "og:title");
            facts_.ogDescription = facts_.ogDescription || AsciiEqualNoCase(property, "og:description");
            facts_.ogImage = facts_.ogImage || AsciiEqualNoCase(property, "og:image");
        }
        if (facts_.metaCharset.empty()) {
            if (HasAttribute(e, "charset")) {
                facts_.metaCharset = Trim(Attribute(e, "charset"));
            } else if (AsciiEqualNoCase(Trim(Attribute(e, "http-equiv")), "content-type")) {
                facts_.metaCharset = CharsetOf(content);
            }
        }
    }

    void VisitLink(const GumboElement& e) {
        const std::string_view rel = Attribute(e, "rel");
        const std::string_view href = Attribute(e, "href");
        if (HasToken(rel, "canonical") && HasAttribute(e, "href")) {
            facts_.canonicalHrefs.emplace_back(Trim(href));
        }
        if (HasToken(rel, "alternate") && HasAttribute(e, "hreflang")) {
            facts_.hreflangs.push_back(
                HreflangLink{std::string(Trim(Attribute(e, "hreflang"))), std::string(Trim(href)), {}});
        }
        if (HasToken(rel, "stylesheet")) {
            AddLoad(e, "href");
        }
    }

    void AddLoad(const GumboElement& e, const char* attribute) {
        if (HasAttribute(e, attribute)) {
            pending_.loads.push_back(Attribute(e, attribute));
        }
    }

    PageFacts& facts_;
    Pending& pending_;
    TextDigest text_;
};

// Real tags have a few dozen attributes at most.
constexpr int kMaxAttributes = 512;

// Elements that hold no others, or whose end tag the parser supplies when the next one starts: they
// do not deepen the tree for long.
bool KeepsDepth(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "area",   "base",     "br",  "col",   "embed",  "hr",    "img",      "input",  "link",     "meta",
        "source", "track",    "wbr", "param", "keygen", "frame", "p",        "li",     "dt",       "dd",
        "option", "optgroup", "tr",  "td",    "th",     "tbody", "thead",    "tfoot",  "colgroup", "rb",
        "rt",     "rp",       "rtc", "html",  "head",   "body",  "basefont", "bgsound"};
    for (std::string_view known : kNames) {
        if (AsciiEqualNoCase(known, name)) {
            return true;
        }
    }
    return false;
}

// Where the markup first nests deeper than maxDepth, or a tag holds more than kMaxAttributes, by a
// quick look at its tags; html.size() when it never does. The parser's time grows with the square of
// the depth and of a tag's attributes, so such a page would hold a crawl up for minutes: only the part
// before that point is read.
std::size_t NestingBound(std::string_view html, int maxDepth) {
    int depth = 0;
    std::size_t i = 0;
    while ((i = html.find('<', i)) != std::string_view::npos) {
        const std::size_t tag = i;
        ++i;
        if (html.substr(tag, 4) == "<!--") {
            const std::size_t end = html.find("-->", tag + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const bool closing = i < html.size() && html[i] == '/';
        i += closing ? 1 : 0;
        std::size_t nameEnd = i;
        while (nameEnd < html.size() && (std::isalnum(static_cast<unsigned char>(html[nameEnd])) != 0)) {
            ++nameEnd;
        }
        if (nameEnd == i || !std::isalpha(static_cast<unsigned char>(html[i]))) {
            continue;
        }
        const std::string_view name = html.substr(i, nameEnd - i);
        // To the tag's end, past quoted values, counting attributes on the way.
        std::size_t close = nameEnd;
        int attributes = 0;
        char quote = 0;
        bool gap = true;
        for (; close < html.size(); ++close) {
            const char c = html[close];
            if (quote != 0) {
                quote = c == quote ? 0 : quote;
            } else if (c == '>') {
                break;
            } else if (c == '"' || c == '\'') {
                quote = gap ? c : 0;
                gap = false;
            } else if (IsBlank(c) || c == '/') {
                gap = true;
            } else if (gap && c != '=') {
                gap = false;
                ++attributes;
            }
        }
        if (attributes > kMaxAttributes) {
            return tag;
        }
        if (close >= html.size()) {
            break;
        }
        i = close + 1;
        if (KeepsDepth(name)) {
            continue;
        }
        if (closing) {
            depth = std::max(0, depth - 1);
            continue;
        }
        if (html[close - 1] == '/') {
            continue;
        }
        // The text of these is not markup: skip to their end tag.
        for (std::string_view raw : {"script", "style", "textarea", "title", "xmp", "iframe", "noembed"}) {
            if (AsciiEqualNoCase(name, raw)) {
                std::size_t end = i;
                while ((end = html.find("</", end)) != std::string_view::npos &&
                       !AsciiStartsWithNoCase(html.substr(end + 2), raw)) {
                    end += 2;
                }
                i = end == std::string_view::npos ? html.size() : end;
                break;
            }
        }
        if (++depth > maxDepth) {
            return tag;
        }
    }
    return html.size();
}

void ReadHtml(const std::string& body, const SiteScope& scope, PageFacts& facts) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // parse errors are not reported; keeping them costs memory
    const std::size_t readable = NestingBound(body, kMaxNesting);
    facts.nestingCut = readable < body.size();
    const std::unique_ptr<GumboOutput, ParseDeleter> parsed(
        gumbo_parse_with_options(&options, body.data(), readable));
    if (!parsed) {
        return;
    }
    Pending pending;
    PageWalker(facts, pending).Walk(parsed->document);

    const BaseAddress page(facts.finalUrl);
    std::optional<BaseAddress> declared;
    if (!pending.base.empty()) {
        if (const std::optional<std::string> resolved = page.Resolve(pending.base)) {
            declared.emplace(*resolved);
        }
    }
    const BaseAddress& base = declared ? *declared : page;
    const auto resolve = [&](std::string_view reference) { return base.Resolve(reference).value_or(""); };

    std::unordered_set<std::string> seen;
    for (std::string_view href : pending.links) {
        std::string url = resolve(href);
        if (!url.empty() && seen.insert(url).second) {
            (scope.Contains(url) ? facts.internalLinks : facts.externalLinks).push_back(std::move(url));
        }
    }
    if (facts.finalUrl.size() >= 8 && AsciiStartsWithNoCase(facts.finalUrl, "https://")) {
        for (std::string_view load : pending.loads) {
            std::string url = resolve(load);
            if (url.starts_with("http://")) {
                facts.insecureLoads.push_back(std::move(url));
            }
        }
    }
    for (const auto& [src, element] : pending.images) {
        PageImage image;
        image.src = resolve(src);
        if (image.src.empty()) {
            image.src = src;
        }
        image.hasAlt = HasAttribute(*element, "alt");
        image.altLength = CharacterCount(Collapse(Attribute(*element, "alt")));
        facts.images.push_back(std::move(image));
    }
    for (const std::string& href : facts.canonicalHrefs) {
        facts.canonicals.push_back(resolve(href));
    }
    for (HreflangLink& link : facts.hreflangs) {
        link.url = resolve(link.href);
    }
}

} // namespace

SiteScope::SiteScope(const std::vector<std::string>& startAddresses) {
    for (const std::string& address : startAddresses) {
        Add(address);
    }
}

void SiteScope::Add(std::string_view address) {
    std::string key = SiteKeyOf(address);
    if (!key.empty() && std::find(keys_.begin(), keys_.end(), key) == keys_.end()) {
        keys_.push_back(std::move(key));
    }
}

bool SiteScope::Contains(std::string_view address) const {
    const std::string key = SiteKeyOf(address);
    return !key.empty() && std::find(keys_.begin(), keys_.end(), key) != keys_.end();
}

std::string PageFacts::canonical() const {
    for (const std::string& url : canonicals) {
        if (!url.empty()) {
            return url;
        }
    }
    return headerCanonical;
}

std::size_t CharacterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

PageFacts ReadPage(const FetchResult& result, const SiteScope& scope) {
    PageFacts facts;
    facts.url = result.url;
    facts.finalUrl = result.finalUrl.empty() ? result.url : result.finalUrl;
    facts.answered = result.outcome.ok() && result.status > 0;
    facts.status = result.status;
    if (!facts.answered) {
        facts.failure = result.outcome.text;
    }
    facts.chain = result.chain;
    facts.redirectLoop = HasRedirectLoop(result);
    facts.firstByte = result.firstByte;
    if (!facts.answered) {
        return facts;
    }

    const std::vector<std::string_view> contentType = HeaderValues(result.head, "Content-Type");
    facts.headerCharset = contentType.empty() ? std::string() : CharsetOf(contentType.front());
    facts.hsts = !HeaderValues(result.head, "Strict-Transport-Security").empty();
    for (std::string_view value : HeaderValues(result.head, "X-Robots-Tag")) {
        facts.headerNoindex = facts.headerNoindex || SaysNoindex(value);
    }
    const std::string headerCanonical = HeaderCanonicalHref(HeaderValues(result.head, "Link"));
    if (!headerCanonical.empty()) {
        facts.headerCanonical = BaseAddress(facts.finalUrl).Resolve(headerCanonical).value_or("");
    }
    facts.html = facts.status >= 200 && facts.status < 300 &&
                 (contentType.empty() ? !result.body.empty() : IsHtmlType(contentType.front()));
    if (facts.html) {
        ReadHtml(result.body, scope, facts);
    }
    return facts;
}

} // namespace sendwell
