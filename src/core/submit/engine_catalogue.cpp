#include "core/submit/engine_catalogue.h"

#include "core/base/hosts.h"
#include "core/base/program_settings.h"

#include <stdexcept>

namespace sendwell {

namespace {

constexpr SubmitMethod kPlain = SubmitMethod::Plain;
constexpr SubmitMethod kForm = SubmitMethod::FormPost;

// Flag names do not always match the engine they switch (m_Webcrawler, m_InfoSpace, m_Hotbot, m_Noago):
// they are the names users' stored settings already carry.
constexpr std::array<EngineEntry, kEngineCount> kCatalogue{{
    {1, "Sympatico", "Sympatico", "m_Webcrawler", kPlain,
     "/cgi-bin/search/submit_url.pl?tpl=330&URL={addr}&category=other&EMail={mail}"},
    {2, "Google", "Google", "m_Google", kPlain, "/addurl?q={addr}&dq=thanks"},
    {3, "Burf", "Burf", "m_Burf", kPlain, "/submit2.php?submittext={addr}&name={mail}&email={mail}"},
    {4, "InfoTiger", "InfoTiger", "m_InfoTiger", kPlain, "/addurl.html?url={addr}&email={mail}&optin=0"},
    {5, "Scrub The Web", "ScrubTheWeb", "m_Scrub", kPlain,
     "/cgi-bin/addurl.cgi?Email={mail}&URL={addr}&Title=&Description=&Keywords="},
    {6, "Hotbot UK", "Hotbot UK", "m_HotbotUK", kPlain,
     "/submit.html?surl={addr}&sem={mail}&engine=hotbot&spag=1&submit=Add page&news=no"},
    {7, "Alexa", "Alexa", "m_InfoSpace", kPlain,
     "/client/www/cgi-bin/request_bot.cgi?url={addr}&redirect={confirm}&submit=Archive My Site"},
    {8, "ExactSeek", "ExactSeek", "m_ExactSeek", kPlain,
     "/cgi-bin/exactadd.cgi?EMAIL={mail}&VERIFIER=517-48&action=submit&URL={addr}&NAME=na&terms=Yes"},
    {9, "Voila", "Voila", "m_Voila", kPlain, "/submit?url={addr}&email={mail}"},
    {10, "EntireWeb", "EntireWeb", "m_EntireWeb", kForm,
     "/main.php?URL={addr}&Email={mail}&SubButton=Submit"},
    {11, "Searchave", "Searchave", "m_Searchave", kForm,
     "/SubmitURLExpressSave.asp?txtURL={addr}&txtEmail={mail}"},
    {12, "SearchIt", "SearchIt", "m_Searchit", kPlain, "/add-site.php?url={addr}&email={mail}"},
    {13, "Search UK", "Search UK", "m_Hotbot", kPlain,
     "/List_Your_Site/Basic_Submit/addURL.asp?URL={addr}&eMail={mail}"},
    {14, "Aeiwi", "Aeiwi", "m_Aeiwi", kPlain, "//cgi-bin/submit?url={addr}&email={mail}"},
    {15, "Mixcat", "Mixcat", "m_Mixcat", kForm, "/addurl.php?do=2&url2={addr}&email={mail}"},
    {16, "AxxaSearch", "AxxaSearch", "m_Noago", kPlain,
     "/add_url2.cgi?required-www={addr}&required-email={mail}"},
    {17, "OnSeek", "Onseek", "m_Onseek", kPlain, "/submit.asp?site={addr}&email={mail}"},
    {18, "Splat Search", "Splatsearch", "m_Splatsearch", kPlain,
     "/cgi-bin/spider.cgi?url={addr}&instant=1&priority=0"},
    {19, "Surf Gopher", "Surfgopher", "m_Surfgopher", kPlain, "/cgi-bin/submit.cgi?url={addr}&email={mail}"},
    {20, "Try America", "Tryamerica", "m_Tryamerica", kPlain, "/add.asp?look=excite&url={addr}"},
    {21, "Walhello", "Walhello", "m_Walhello", kPlain, "/urlgl.cgi?url={addr}"},
    {22, "WhatUSeek", "WhatUSeek", "m_Whatuseek2", kPlain,
     "/cgi-bin/addurl_bottom.cgi?col=1&url={addr}&email={mail}"},
    {23, "Amfibi", "Amfibi", "m_Amfibi", kPlain, "/tky/?url={addr}&email={mail}"},
    {24, "Websquash", "Websquash", "m_Websquash", kForm,
     "/cgi-bin/search/search.pl?Mode=AnonAdd&b_submit=1&Realm=Internet&URL={addr}&EMAIL={mail}"},
    {25, "Searchengine", "Searchengine", "m_Searchengine", kPlain,
     "/List_your_Site/Basic_Submit/addURL.asp?URL={addr}&eMail={mail}"},
    {26, "Findonce", "Findonce", "m_Findonce", kForm, "/submit/Done.asp?URL={addr}"},
}};

constexpr std::string_view kConfirmationPath = "/help/webmasters/successful.html";

// Appends a fixed piece; spaces become "%20" in the wire form only.
void AppendFixed(std::string& out, std::string_view piece, bool wire) {
    if (!wire) {
        out.append(piece);
        return;
    }
    for (std::size_t space = piece.find(' '); space != std::string_view::npos; space = piece.find(' ')) {
        out.append(piece.substr(0, space)).append("%20");
        piece.remove_prefix(space + 1);
    }
    out.append(piece);
}

// The absolute confirmation page address some engines are given as their redirect target.
std::string ConfirmationPageAddress(const ProgramSettings& settings) {
    return "http://" + settings.Host("AlexaConfirm") + std::string(kConfirmationPath);
}

// The hosts a request address is built from, looked up once for both forms of the address.
struct BuildHosts {
    std::string engine;
    std::string confirmation; // the confirmation page address when the template names it, else ""
};

BuildHosts HostsFor(const EngineEntry& engine, const ProgramSettings& settings) {
    BuildHosts hosts{settings.Host(EngineHostKey(engine.position)), {}};
    if (engine.pathTemplate.find("{confirm}") != std::string_view::npos) {
        hosts.confirmation = ConfirmationPageAddress(settings);
    }
    return hosts;
}

std::string Build(const EngineEntry& engine, const BuildHosts& hosts, std::string_view webAddress,
                  std::string_view email, bool wire) {
    std::string out;
    // Room for the pieces and every value once; the wire form's "%20"s may still grow it.
    out.reserve(7 + hosts.engine.size() + engine.pathTemplate.size() + 2 * webAddress.size() +
                2 * email.size() + hosts.confirmation.size() + 16);
    out.append("http://");
    AppendFixed(out, hosts.engine, wire);
    std::string_view rest = engine.pathTemplate;
    while (!rest.empty()) {
        std::size_t open = rest.find('{');
        if (open == std::string_view::npos) {
            AppendFixed(out, rest, wire);
            break;
        }
        AppendFixed(out, rest.substr(0, open), wire);
        std::size_t close = rest.find('}', open);
        std::string_view name = rest.substr(open + 1, close - open - 1);
        if (name == "addr") {
            out += webAddress;
        } else if (name == "mail") {
            out += email;
        } else {
            AppendFixed(out, hosts.confirmation, wire);
        }
        rest.remove_prefix(close + 1);
    }
    return out;
}

} // namespace

const std::array<EngineEntry, kEngineCount>& EngineCatalogue() {
    return kCatalogue;
}

const EngineEntry& EngineAt(int position) {
    if (position < 1 || position > kEngineCount) {
        throw std::out_of_range("engine position out of range");
    }
    return kCatalogue[static_cast<std::size_t>(position - 1)];
}

std::string EngineHost(const EngineEntry& engine) {
    return HostFor(EngineHostKey(engine.position));
}

std::string BuildRequestAddress(const EngineEntry& engine, std::string_view webAddress,
                                std::string_view email) {
    return Build(engine, HostsFor(engine, ProgramSettings()), webAddress, email, false);
}

EngineRequest BuildEngineRequest(const EngineEntry& engine, std::string_view webAddress,
                                 std::string_view email, const ProgramSettings& settings) {
    const BuildHosts hosts = HostsFor(engine, settings);
    return {Build(engine, hosts, webAddress, email, false), Build(engine, hosts, webAddress, email, true),
            engine.method};
}

EngineRequest BuildEngineRequest(const EngineEntry& engine, std::string_view webAddress,
                                 std::string_view email) {
    return BuildEngineRequest(engine, webAddress, email, ProgramSettings());
}

bool EngineEnabled(const EngineEntry& engine, const ProgramSettings& settings) {
    return settings.EngineOn(engine.flagName);
}

bool EngineEnabled(const EngineEntry& engine) {
    return EngineEnabled(engine, ProgramSettings());
}

} // namespace sendwell
