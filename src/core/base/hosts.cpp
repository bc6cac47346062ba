#include "core/base/hosts.h"

#include "core/base/settings.h"

#include <unordered_map>

namespace sendwell {

const std::vector<HostDefault>& HostDefaults() {
    static const std::vector<HostDefault> defaults = {
        {"Engine01", "submit.search.sympatico.ca"},
        {"Engine02", "www.google.com"},
        {"Engine03", "www.burf.com"},
        {"Engine04", "www.infotiger.com"},
        {"Engine05", "www.scrubtheweb.com"},
        {"Engine06", "www.hotbot.co.uk"},
        {"Engine07", "pages.alexa.com"},
        {"Engine08", "www.exactseek.com"},
        {"Engine09", "www.voila.com"},
        {"Engine10", "www.entireweb.com"},
        {"Engine11", "www.searchave.com"},
        {"Engine12", "www.searchit.com"},
        {"Engine13", "www.searchuk.com"},
        {"Engine14", "www.aeiwi.com"},
        {"Engine15", "www.mixcat.com"},
        {"Engine16", "www.axxasearch.com"},
        {"Engine17", "www.onseek.com"},
        {"Engine18", "www.splatsearch.com"},
        {"Engine19", "www.surfgopher.com"},
        {"Engine20", "www.tryamerica.com"},
        // This engine is addressed by number; the default is a documentation-range placeholder that
        // the user replaces with the engine's real address through "Host.Engine21".
        {"Engine21", "192.0.2.21"},
        {"Engine22", "submit.whatuseek.com"},
        {"Engine23", "www.amfibi.com"},
        {"Engine24", "www.websquash.com"},
        {"Engine25", "www.searchengine.com"},
        {"Engine26", "www.findonce.co.uk"},
        {"AlexaConfirm", "www.alexa.com"},
        {"GoogleSearch", "www.google.com"},
        {"GoogleDomain", "google.com"},
        {"Vendor", "www.sendwellpro.example"},
        {"VendorMail", "sendwellpro.example"},
        {"VendorPartner", "partners.sendwellpro.example"},
        {"Popularity", "popularity.sendwellpro.example"},
        {"PromoDirectory", "commerce.yahoo.com"},
        {"PromoPayPerClick", "adwords.google.com"},
        {"PromoListings", "listings.looksmart.com"},
        {"RankAltavista", "www.altavista.com"},
        {"RankYahoo", "search.yahoo.com"},
        {"RankGoogle", "www.google.com"},
        {"RankLycos", "search.lycos.com"},
        {"RankAllTheWeb", "www.alltheweb.com"},
        {"RankExcite", "search.excite.com"},
        {"RankHotbot", "www.hotbot.com"},
        // Listed twice by the rank check, as "Searchit" and "Search It".
        {"RankSearchit", "www.searchit.com"},
        {"RankWebcrawler", "www.webcrawler.com"},
        {"RankAlexa", "www.alexa.com"},
        {"RankTrueSearch", "www.truesearch.com"},
        {"RankExactSeek", "www.exactseek.com"},
        {"RankInfoSpace", "www.infospace.com"},
        {"IndexNow", "api.indexnow.org"},
    };
    return defaults;
}

std::string HostSettingName(std::string_view key) {
    return "Host." + std::string(key);
}

std::string HostFor(std::string_view key, const SettingsSnapshot& settings) {
    // Looked up for every request of a run.
    static const std::unordered_map<std::string_view, std::string_view> defaults = [] {
        std::unordered_map<std::string_view, std::string_view> byKey;
        for (const HostDefault& entry : HostDefaults()) {
            byKey.emplace(entry.key, entry.defaultHost);
        }
        return byKey;
    }();
    const auto entry = defaults.find(key);
    if (entry == defaults.end()) {
        return {};
    }
    const std::string_view configured = settings.Read(HostSettingName(key));
    return std::string(configured.empty() ? entry->second : configured);
}

std::string HostFor(std::string_view key) {
    return HostFor(key, SettingsSnapshot(kSettingsSection));
}

std::string EngineHostKey(int position) {
    if (position < 1 || position > 26) {
        return {};
    }
    std::string key = "Engine00";
    key[6] = static_cast<char>('0' + position / 10);
    key[7] = static_cast<char>('0' + position % 10);
    return key;
}

} // namespace sendwell
