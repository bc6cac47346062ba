#include "core/research/rank_check.h"

#include "core/base/hosts.h"

#include <system_error>

namespace sendwell {

namespace {

struct EngineRow {
    const char* name;
    const char* hostKey;
    const char* before;
    const char* after;
};

// "Searchit" and "Search It" are one engine listed twice: one host key keeps their addresses equal.
constexpr EngineRow kEngineRows[] = {
    {"Altavista", "RankAltavista", "/cgi-bin/query?pg=q&sc=on&hl=on&act=2006&par=0&q=\"",
     "\"&kl=XX&stype=stext"},
    {"Yahoo!", "RankYahoo", "/search?p=", "&ei=UTF-8&fr=fp-tab-web-t&cop=mss&tab="},
    {"Google", "RankGoogle", "/search?q=", "&num=10&meta=hl%3Den%26lr%3D&safe=off"},
    {"Lycos", "RankLycos", "/default.asp?lpv=1&loc=searchhp&tab=web&query=", ""},
    {"AllTheWeb", "RankAllTheWeb", "/search?cat=web&lang=any&query=", ""},
    {"Excite", "RankExcite", "/search.gw?c=web&search=", "&onload="},
    {"Hotbot", "RankHotbot", "/?MT=", "&SQ=1&TR=1"},
    {"Searchit", "RankSearchit", "/websearch.cgi?keywords=", ""},
    {"Webcrawler", "RankWebcrawler",
     "/info.wbcrwl/dog/results?otmpl=dog/webresults.htm&qkw=", "&qcat=web&qk=20&start=&ver=03056"},
    {"Alexa", "RankAlexa", "/search?q=", ""},
    {"True Search", "RankTrueSearch", "/query.cgi?query=", ""},
    {"Exact Seek", "RankExactSeek", "/cgi-bin/search.cgi?term=", ""},
    {"Info Space", "RankInfoSpace",
     "/_1_4BYVTUC026F3NYU__info/dog/results?otmpl=dog/webresults.htm&qkw=", "&qcat=web&start=&ver=28040"},
    {"Search It", "RankSearchit", "/websearch.cgi?keywords=", ""},
};

constexpr const char* kLeftoverFiles[] = {"altavista.html", "lycos.html", "hotbot.html", "go.html",
                                          "google.html"};

} // namespace

std::string RankKeywordsPrefill(std::string_view lastSelectedAddress) {
    return lastSelectedAddress.size() <= 7 ? std::string() : std::string(lastSelectedAddress.substr(7));
}

std::vector<RankEngine> RankEngines(std::string_view keywords) {
    std::vector<RankEngine> engines;
    for (const EngineRow& row : kEngineRows) {
        engines.push_back(
            {row.name, "http://" + HostFor(row.hostKey) + row.before + std::string(keywords) + row.after});
    }
    return engines;
}

void DeleteRankLeftovers(const std::filesystem::path& folder) {
    for (const char* name : kLeftoverFiles) {
        std::error_code ignored;
        std::filesystem::remove(folder / name, ignored);
    }
}

} // namespace sendwell
