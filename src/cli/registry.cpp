#include "cli/cli_context.h"

namespace evkit::cli {

namespace {
std::vector<CommandSpec>& table() {
    static std::vector<CommandSpec> t;
    return t;
}
}  // namespace

bool registerCommand(CommandSpec entry) {
    table().push_back(std::move(entry));
    return true;
}

const std::vector<CommandSpec>& commands() { return table(); }

const CommandSpec* findCommand(const std::string& name) {
    for (const auto& c : table())
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace evkit::cli
