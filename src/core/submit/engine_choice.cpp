#include "core/submit/engine_choice.h"

#include "core/base/ascii_case.h"

#include <string>

namespace sendwell {

namespace {

std::string Folded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == ' ') {
            continue;
        }
        out.push_back(AsciiLower(c));
    }
    return out;
}

} // namespace

const EngineEntry* FindEngine(std::string_view nameOrNumber) {
    if (!nameOrNumber.empty() && nameOrNumber.size() <= 2 &&
        nameOrNumber.find_first_not_of("0123456789") == std::string_view::npos) {
        const int position = std::stoi(std::string(nameOrNumber));
        return position >= 1 && position <= kEngineCount ? &EngineAt(position) : nullptr;
    }
    const std::string wanted = Folded(nameOrNumber);
    if (wanted.empty()) {
        return nullptr;
    }
    for (const EngineEntry& engine : EngineCatalogue()) {
        if (Folded(engine.displayName) == wanted || Folded(engine.storeName) == wanted) {
            return &engine;
        }
    }
    return nullptr;
}

} // namespace sendwell
