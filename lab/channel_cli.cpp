#include "lab/channel_cli.h"

#include "lab/cli.h"

#include <algorithm>

namespace lab {

void AddChannelOptions(CLI::App& app, choices::ChannelChoice& c, unsigned command,
                       bool severalTargets, std::initializer_list<const char*> except) {
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        if ((row.commands & command) == 0) continue;
        if (std::any_of(except.begin(), except.end(),
                        [&row](const char* flag) { return std::string(row.flag) == flag; }))
            continue;
        const choices::ChannelOption* o = &row;
        std::string type;
        if (row.typeName != nullptr) {
            type = row.typeName;
        } else {
            for (const std::string& n : row.names()) type += (type.empty() ? "" : "|") + n;
        }
        if (row.shape == choices::Shape::kTargets) {
            // Given again, each text adds its targets.
            // Coded runs (sfr) take the memory-0 target 1 too.
            const bool memoryless = command == choices::kSfr;
            auto take = [o, &c, severalTargets, memoryless](const std::vector<std::string>& texts) {
                if (std::string error =
                        choices::ParseTargetTexts(texts, severalTargets, c.targets, memoryless);
                    !error.empty())
                    throw CLI::ValidationError(o->flag, error);
                choices::Given(*o, c);
            };
            CLI::Option* target = app.add_option_function<std::vector<std::string>>(
                row.flag, take, row.help(severalTargets));
            target->type_name(type);
            target->multi_option_policy(severalTargets ? CLI::MultiOptionPolicy::TakeAll
                                                       : CLI::MultiOptionPolicy::Throw);
            continue;
        }
        AddChecked(app, row.flag, row.help(severalTargets),
                   [o, &c, severalTargets](const std::string& text) {
                       std::string error = o->parse(text, severalTargets, c);
                       if (error.empty()) choices::Given(*o, c);
                       return error;
                   })
            ->type_name(type);
    }
}

void CheckChannelOptions(const choices::ChannelChoice& c) {
    const choices::Refusal refusal = choices::CheckChannel(c);
    if (!refusal.line.empty()) throw CLI::ValidationError(refusal.option, refusal.line);
}

} // namespace lab
