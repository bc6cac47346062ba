#include "core/base/hosts.h"

#include "core/base/settings.h"

#include <cstdio>

namespace sendwell {

const std::vector<HostDefault>& HostDefaults() {
    static const std::vector<HostDefault> defaults = {
        {"Engine01", "submit.search.sympatico.ca", "engine 1 (Sympatico) submission host"},
        {"Engine02", "www.google.com", "engine 2 (Google) submission host"},
        {"Engine03", "www.burf.com", "engine 3 (Burf) submission host"},
        {"Engine04", "www.infotiger.com", "engine 4 (InfoTiger) submission host"},
        {"Engine05", "www.scrubtheweb.com", "engine 5 (Scrub The Web) submission host"},
        {"Engine06", "www.hotbot.co.uk", "engine 6 (Hotbot UK) submission host"},
        {"Engine07", "pages.alexa.com", "engine 7 (Alexa) submission host"},
        {"Engine08", "www.exactseek.com", "engine 8 (ExactSeek) submission host"},
        {"Engine09", "www.voila.com", "engine 9 (Voila) submission host"},
        {"Engine10", "www.entireweb.com", "engine 10 (EntireWeb) submission host"},
        {"Engine11", "www.searchave.com", "engine 11 (Searchave) submission host"},
        {"Engine12", "www.searchit.com", "engine 12 (SearchIt) submission host"},
        {"Engine13", "www.searchuk.com", "engine 13 (Search UK) submission host"},
        {"Engine14", "www.aeiwi.com", "engine 14 (Aeiwi) submission host"},
        {"Engine15", "www.mixcat.com", "engine 15 (Mixcat) submission host"},
        {"Engine16", "www.axxasearch.com", "engine 16 (AxxaSearch) submission host"},
        {"Engine17", "www.onseek.com", "engine 17 (OnSeek) submission host"},
        {"Engine18", "www.splatsearch.com", "engine 18 (Splat Search) submission host"},
        {"Engine19", "www.surfgopher.com", "engine 19 (Surf Gopher) submission host"},
        {"Engine20", "www.tryamerica.com", "engine 20 (Try America) submission host"},
        // This engine is addressed by number; the default is a documentation-range placeholder that
        // the user replaces with the engine's real address through "Host.Engine21".
        {"Engine21", "192.0.2.21", "engine 21 (Walhello) submission address (numeric IPv4)"},
        {"Engine22", "submit.whatuseek.com", "engine 22 (WhatUSeek) submission host"},
        {"Engine23", "www.amfibi.com", "engine 23 (Amfibi) submission host"},
        {"Engine24", "www.websquash.com", "engine 24 (Websquash) submission host"},
        {"Engine25", "www.searchengine.com", "engine 25 (Searchengine) submission host"},
        {"Engine26", "www.findonce.co.uk", "engine 26 (Findonce) submission host"},
        {"AlexaConfirm", "www.alexa.com", "engine 7's confirmation page host"},
        {"GoogleSearch", "www.google.com", "Google web search host (keyword suggestion)"},
        {"GoogleDomain", "google.com", "Google's own domain, whose links are skipped in search results"},
        {"Vendor", "www.sendwellpro.example",
         "the vendor's web host (upgrade check and download, online help)"},
        {"VendorMail", "sendwellpro.example",
         "the vendor's mail domain (support address in the Help window)"},
        {"VendorPartner", "partners.sendwellpro.example", "the vendor's partner sign-up host"},
        {"Popularity", "popularity.sendwellpro.example", "link popularity service host"},
        {"PromoDirectory", "commerce.yahoo.com", "promotion: paid directory listing page host"},
        {"PromoPayPerClick", "adwords.google.com", "promotion: pay-per-click advertising page host"},
        {"PromoListings", "listings.looksmart.com", "promotion: paid directory listings page host"},
        {"RankAltavista", "www.altavista.com", "rank check: Altavista search host"},
        {"RankYahoo", "search.yahoo.com", "rank check: Yahoo! search host"},
        {"RankGoogle", "www.google.com", "rank check: Google web host"},
        {"RankLycos", "search.lycos.com", "rank check: Lycos search host"},
        {"RankAllTheWeb", "www.alltheweb.com", "rank check: AllTheWeb host"},
        {"RankExcite", "search.excite.com", "rank check: Excite search host"},
        {"RankHotbot", "www.hotbot.com", "rank check: Hotbot search host"},
        {"RankSearchit", "www.searchit.com",
         "rank check: Searchit web host (listed twice, as \"Searchit\" and \"Search It\")"},
        {"RankWebcrawler", "www.webcrawler.com", "rank check: Webcrawler results host"},
        {"RankAlexa", "www.alexa.com", "rank check: Alexa web host"},
        {"RankTrueSearch", "www.truesearch.com", "rank check: True Search web host"},
        {"RankExactSeek", "www.exactseek.com", "rank check: Exact Seek web host"},
        {"RankInfoSpace", "www.infospace.com", "rank check: InfoSpace results host"},
    };
    return defaults;
}

std::string HostSettingName(std::string_view key) {
    return "Host." + std::string(key);
}

std::string HostFor(std::string_view key) {
    for (const HostDefault& entry : HostDefaults()) {
        if (entry.key == key) {
            std::string configured = ReadSetting(kSettingsSection, HostSettingName(key));
            return configured.empty() ? std::string(entry.defaultHost) : configured;
        }
    }
    return {};
}

std::string EngineHostKey(int position) {
    if (position < 1 || position > 26) {
        return {};
    }
    char key[16];
    std::snprintf(key, sizeof key, "Engine%02d", position);
    return key;
}

} // namespace sendwell
