#include "core/results/answer_store.h"

#include "core/base/ascii_case.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <fstream>
#include <mutex>
#include <system_error>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

std::atomic<std::uint64_t> g_answerCounter{0};
std::mutex g_logMutex; // keeps one record's lines together should two requests fail at once

// Longest file name the usual Linux file systems accept, in bytes.
constexpr std::size_t kMaxFileName = 255;

// Length of the well-formed UTF-8 sequence starting at text[i], or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // Overlong three- and four-byte forms, surrogates and code points past U+10FFFF.
    unsigned char second = length > 1 ? byte(i + 1) : 0;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

// One file-name-safe component: no separators, no NUL or control characters, no ":" (an address with
// a port), no ".." that could read as a parent folder, and well-formed UTF-8 only, since the review
// shows and opens the file by a name in characters and a stray byte would never find it again.
std::string SafeNamePiece(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        auto u = static_cast<unsigned char>(c);
        std::size_t length = u < 0x80 ? 1 : Utf8SequenceLength(text, i);
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        bool unsafe = length == 0 || c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7f;
        out.push_back(unsafe ? '_' : c);
        ++i;
    }
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '.' && out[i + 1] == '.') {
            out[i] = '_';
            out[i + 1] = '_';
        }
    }
    return out;
}

bool HasAnswerExtension(const std::string& name) {
    if (name.size() < kAnswerExtension.size()) {
        return false;
    }
    // The store's extension is matched without regard to letter case, so a hand-placed ".html" counts too.
    return AsciiEqualNoCase(std::string_view(name).substr(name.size() - kAnswerExtension.size()),
                            kAnswerExtension);
}

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Splits a stored file name into its pieces. Names this program made are read from the right, so a
// site piece that itself holds "____" stays whole; other names fall back to the plain reading (site
// before the first "____", store name after the second).
StoredAnswer ParseAnswerName(const std::string& name) {
    StoredAnswer a;
    std::string_view stem = std::string_view(name).substr(0, name.size() - kAnswerExtension.size());
    std::size_t storeSep = stem.rfind(kAnswerSeparator);
    if (storeSep != std::string_view::npos) {
        std::string_view head = stem.substr(0, storeSep);
        std::size_t counterSep = head.rfind(kAnswerSeparator);
        if (counterSep != std::string_view::npos) {
            std::string_view digits = head.substr(counterSep + kAnswerSeparator.size());
            std::uint64_t counter = 0;
            auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), counter);
            if (AllDigits(digits) && ec == std::errc() && ptr == digits.data() + digits.size()) {
                a.site = std::string(head.substr(0, counterSep));
                a.storeName = std::string(stem.substr(storeSep + kAnswerSeparator.size()));
                a.counter = counter;
                return a;
            }
        }
    }
    std::size_t first = stem.find(kAnswerSeparator);
    a.site = std::string(stem.substr(0, first));
    std::size_t second = stem.find(kAnswerSeparator, first + kAnswerSeparator.size());
    if (second != std::string_view::npos) {
        a.storeName = std::string(stem.substr(second + kAnswerSeparator.size()));
    }
    a.counter = UINT64_MAX;
    return a;
}

void DeleteAnswerFiles(const fs::path& store) {
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(store, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_directory(typeEc) && HasAnswerExtension(it->path().filename().string())) {
            doomed.push_back(it->path());
        }
    }
    for (const fs::path& p : doomed) {
        fs::remove(p, ec); // a file that cannot be deleted simply stays
    }
}

} // namespace

std::string AnswerSitePiece(std::string_view address) {
    const std::string_view root = SiteRootOf(address);
    std::size_t colon = root.find(':');
    std::size_t start = colon == std::string::npos ? 2 : colon + 3;
    return SafeNamePiece(root.substr(std::min(start, root.size())));
}

void MakeAnswerStore(const fs::path& programFolder) {
    std::error_code ec;
    fs::create_directories(AnswerStorePath(programFolder), ec); // on failure a request reports the file
}

std::string NameAnswerFile(std::string_view address, std::string_view storeName,
                           const fs::path& programFolder) {
    MakeAnswerStore(programFolder);
    return NextAnswerFileName(address, storeName, programFolder);
}

std::string NextAnswerFileName(std::string_view address, std::string_view storeName,
                               const fs::path& programFolder) {
    // A run names 26 answers in a row for the same address.
    struct LastSite {
        std::string address;
        std::string site;
    };
    thread_local LastSite last;
    if (last.address != address || last.address.empty()) {
        last.site = AnswerSitePiece(address);
        last.address = address;
    }
    std::string_view site = last.site;
    std::string engine;
    for (char c : storeName) {
        if (c != ' ') {
            engine.push_back(c);
        }
    }
    engine = SafeNamePiece(engine);

    char counter[24];
    const auto written = std::to_chars(std::begin(counter), std::end(counter), g_answerCounter.fetch_add(1));
    const std::string_view count(counter, static_cast<std::size_t>(written.ptr - counter));
    const std::size_t tail =
        2 * kAnswerSeparator.size() + count.size() + engine.size() + kAnswerExtension.size();
    // A very long host would make a name the file system refuses; the site piece gives way.
    if (site.size() + tail > kMaxFileName) {
        site = site.substr(0, tail < kMaxFileName ? kMaxFileName - tail : 0);
        // Never cut a character in two.
        while (!site.empty() && (static_cast<unsigned char>(site.back()) & 0xC0) == 0x80) {
            site.remove_suffix(1);
        }
        if (!site.empty() && static_cast<unsigned char>(site.back()) >= 0xC0) {
            site.remove_suffix(1);
        }
    }
    // Spelled as AnswerStorePath(programFolder) / name would spell it. A run names every answer in the
    // same folder, so the folder's spelling is kept rather than made through std::filesystem each time.
    struct Known {
        fs::path::string_type programFolder;
        std::string store;
    };
    thread_local Known known;
    if (known.store.empty() || known.programFolder != programFolder.native()) {
        known.store = AnswerStorePath(programFolder).string();
        known.programFolder = programFolder.native();
    }
    std::string path;
    path.reserve(known.store.size() + 1 + site.size() + tail);
    path.append(known.store).append("/").append(site);
    path.append(kAnswerSeparator)
        .append(count)
        .append(kAnswerSeparator)
        .append(engine)
        .append(kAnswerExtension);
    return path;
}

bool AppendFailureRecord(const fs::path& programFolder, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return true;
    }
    std::string record;
    for (const std::string& line : lines) {
        // A line break inside a value (an address typed with one) must not split the record.
        for (char c : line) {
            record.push_back(c == '\r' || c == '\n' ? ' ' : c);
        }
        record.append("\r\n");
    }
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::ofstream out(FailureLogPath(programFolder), std::ios::binary | std::ios::app);
    out.write(record.data(), static_cast<std::streamsize>(record.size()));
    out.close();
    return static_cast<bool>(out);
}

std::uint64_t NextAnswerCounter() {
    return g_answerCounter.load();
}

std::vector<StoredAnswer> ListStoredAnswers(const fs::path& programFolder) {
    std::vector<std::pair<std::string, StoredAnswer>> found;
    std::error_code ec;
    for (fs::directory_iterator it(AnswerStorePath(programFolder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeEc;
        if (it->is_directory(typeEc) || !HasAnswerExtension(name) ||
            name.find(kAnswerSeparator) == std::string::npos) {
            continue;
        }
        StoredAnswer a = ParseAnswerName(name);
        a.path = it->path().string();
        found.emplace_back(std::move(name), std::move(a));
    }
    std::sort(found.begin(), found.end(), [](const auto& x, const auto& y) {
        return x.second.counter != y.second.counter ? x.second.counter < y.second.counter : x.first < y.first;
    });
    std::vector<StoredAnswer> out;
    out.reserve(found.size());
    for (auto& [name, a] : found) {
        out.push_back(std::move(a));
    }
    return out;
}

void ClearAnswerStore(const fs::path& programFolder) {
    fs::path store = AnswerStorePath(programFolder);
    std::error_code ec;
    if (fs::is_directory(store, ec)) {
        DeleteAnswerFiles(store);
        fs::remove(store, ec); // fails, and the folder stays, while other files remain in it
    }
    fs::remove(FailureLogPath(programFolder), ec);
}

void ClearAnswerStoreAtStartup(const fs::path& programFolder) {
    std::error_code ec;
    fs::path store = AnswerStorePath(programFolder);
    if (fs::is_directory(store, ec)) {
        DeleteAnswerFiles(store);
    }
}

} // namespace sendwell
