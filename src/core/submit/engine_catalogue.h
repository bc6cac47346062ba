// The engine catalogue: the fixed, ordered list of the 26 search engines and directories an address is
// submitted to, and how each engine's request address is built from the user's web and e-mail address.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace sendwell {

class ProgramSettings;

enum class SubmitMethod {
    Plain,   // GET of the whole request address
    FormPost // the query text is POSTed as a form body to the object path
};

struct EngineEntry {
    int position;                 // 1..26, the submission order
    std::string_view displayName; // shown on the progress window's "To:" line
    std::string_view storeName;   // names the answer file
    std::string_view flagName;    // settings value that switches the engine on or off
    SubmitMethod method;
    // Path and query after "http://" and the host. "{addr}" stands for the web address, "{mail}" for the
    // e-mail address and "{confirm}" for the confirmation page address; everything else is literal.
    std::string_view pathTemplate;
};

inline constexpr int kEngineCount = 26;

// The catalogue in submission order.
const std::array<EngineEntry, kEngineCount>& EngineCatalogue();
// Entry at position 1..26.
const EngineEntry& EngineAt(int position);

// The engine's submission host from the hosts table (settings override included); may carry ":port".
std::string EngineHost(const EngineEntry& engine);

// The request address: "http://", the host and the path-and-query pieces with the two values inserted
// exactly as given (no trimming, no encoding).
std::string BuildRequestAddress(const EngineEntry& engine, std::string_view webAddress,
                                std::string_view email);

// What one request to an engine needs. The wire address differs from the request address only in that
// the spaces of the catalogue's own fixed pieces are written "%20"; the user's text is left as typed.
struct EngineRequest {
    std::string address;     // as built: shown, logged, and split for a form post
    std::string wireAddress; // handed to the network library
    SubmitMethod method = SubmitMethod::Plain;
};
EngineRequest BuildEngineRequest(const EngineEntry& engine, std::string_view webAddress,
                                 std::string_view email);
// The same with the hosts from settings already read.
EngineRequest BuildEngineRequest(const EngineEntry& engine, std::string_view webAddress,
                                 std::string_view email, const ProgramSettings& settings);

// The engine's flag, read fresh from the settings: only a stored "0" disables an engine.
bool EngineEnabled(const EngineEntry& engine);
bool EngineEnabled(const EngineEntry& engine, const ProgramSettings& settings);

} // namespace sendwell
