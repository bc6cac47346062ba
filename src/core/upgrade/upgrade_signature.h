// Who may vouch for an installer: an Ed25519 signature over its bytes, checked against a public key
// built into the program or named in the user's settings file. Nothing else grants trust, not the
// transport and not anything the upgrade page says about itself.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

inline constexpr std::size_t kSignatureBytes = 64;

// Standard base64 (with its "=" padding); blanks and tabs around it are allowed. None for anything else.
std::optional<std::string> DecodeBase64(std::string_view text);

// A public key as text: the base64 of the 32 raw key bytes, or of the DER key that
// `openssl pkey -pubout` prints between its PEM lines. False when it is neither or not an Ed25519 key.
bool IsUsablePublicKey(std::string_view keyText);

// True when signature is a valid Ed25519 signature of message by the key keyText.
bool SignatureVerifies(std::string_view message, std::string_view signature, std::string_view keyText);

// The keys an installer's signature may verify against: the built-in one and the settings file's, those
// that are usable. Empty when there is neither: then no installer is ever run.
std::vector<std::string> TrustedUpgradeKeys();

} // namespace sendwell
