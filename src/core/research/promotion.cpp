#include "core/research/promotion.h"

#include "core/base/hosts.h"

namespace sendwell {

std::optional<std::string> PopularityAddress(const std::string& address) {
    if (address.empty()) {
        return std::nullopt;
    }
    return "http://" + HostFor("Popularity") + "/servlet/Popularity?url=" + address;
}

std::vector<PromotionService> PromotionServices() {
    return {
        {"Quenby's Priority Submit Network",
         "Prices vary\n48-hour inclusion to the Hotbot, Lycos, Yahoo, Overture, Findwhat, FAST network, and "
         "more..",
         "&Priority Submit", "https://" + HostFor("VendorPartner") + "/partner.php?id=" + kPartnerNumber},
        {"Yahoo!", "$299\nGet listed in the Yahoo! directory index.", "&Yahoo!",
         "https://" + HostFor("PromoDirectory") + "/fast/add"},
        {"Google Adwords Select",
         "$5 + CPC\nGet first-page listing advertisements on Google's results.\nThis is a pay-per-click "
         "system, billed monthly.",
         "&Google", "https://" + HostFor("PromoPayPerClick") + "/select/main?cmd=Login"},
        {"Looksmart",
         "$29 + CPC\nGet listed in MSN directory, Altavista directory, Netscape, InfoSpace directory, CNN, "
         "CNet.\nThis is a pay-per-click system, billed monthly at 0.15/click.",
         "&Looksmart", "http://" + HostFor("PromoListings") + "/?synd=none&chan=lshomeft"},
    };
}

} // namespace sendwell
