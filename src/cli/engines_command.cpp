// The engines command: the 26 engine flags, shown and switched by name or number.
#include "cli/command.h"
#include "cli/engine_names.h"
#include "core/base/program_settings.h"
#include "core/submit/engine_choice.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace sendwell::cli {

std::bitset<kEngineCount> EnginesNamed(const std::vector<std::string>& names) {
    std::bitset<kEngineCount> chosen;
    for (const std::string& name : names) {
        const EngineEntry* engine = FindEngine(name);
        if (engine == nullptr) {
            throw CommandFailure(kExitUsage,
                                 "\"" + name + "\" is not an engine; `sendwell-cli engines` lists them");
        }
        chosen.set(static_cast<std::size_t>(engine->position - 1));
    }
    return chosen;
}

namespace {

class EnginesCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command
            .add_option("--enable", enable_, "Switch these engines on (names or numbers, or a comma list)")
            ->delimiter(',');
        command.add_option("--disable", disable_, "Switch these engines off")->delimiter(',');
    }

    int Run(Output& output) override {
        const std::bitset<kEngineCount> on = EnginesNamed(enable_);
        const std::bitset<kEngineCount> off = EnginesNamed(disable_);
        if ((on & off).any()) {
            throw CommandFailure(kExitUsage, "an engine cannot be both enabled and disabled");
        }
        for (const EngineEntry& engine : EngineCatalogue()) {
            const std::size_t bit = static_cast<std::size_t>(engine.position - 1);
            if ((on.test(bit) || off.test(bit)) &&
                !ProgramSettings::SetEngineOn(engine.flagName, on.test(bit))) {
                throw CommandFailure(kExitData,
                                     "the engine flags could not be written to " + SettingsFile().string());
            }
        }

        nlohmann::json engines = nlohmann::json::array();
        for (const EngineEntry& engine : EngineCatalogue()) {
            const bool enabled = EngineEnabled(engine);
            if (output.json()) {
                engines.push_back({{"number", engine.position},
                                   {"name", engine.displayName},
                                   {"flag", engine.flagName},
                                   {"enabled", enabled}});
            } else {
                output.out() << (engine.position < 10 ? " " : "") << engine.position << "  "
                             << (enabled ? "on " : "off") << "  " << engine.displayName << "\n";
            }
        }
        if (output.json()) {
            output.PrintJson({{"engines", engines}});
        }
        return kExitDone;
    }

private:
    std::vector<std::string> enable_;
    std::vector<std::string> disable_;
};

} // namespace

std::unique_ptr<Command> MakeEnginesCommand() {
    return std::make_unique<EnginesCommand>();
}

} // namespace sendwell::cli
