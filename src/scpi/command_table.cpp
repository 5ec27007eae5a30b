#include "scpi/command_table.h"

#include <cctype>
#include <stdexcept>

namespace evkit::scpi {

CommandTable::CommandTable(std::vector<CommandRow> rows) : rows_(std::move(rows)) {
    for (const auto& r : rows_) compiled_.push_back(compile(r.pattern));
}

CommandTable::Compiled CommandTable::compile(const std::string& pattern) {
    Compiled c;
    std::string p = pattern;
    if (!p.empty() && p.back() == '?') {
        c.query = true;
        p.pop_back();
    }
    if (!p.empty() && p.front() == '*') {
        c.common = true;
        p.erase(0, 1);
    }
    std::size_t i = 0;
    while (i < p.size()) {
        Node n;
        if (p[i] == '[') {
            n.optional = true;
            ++i;
        }
        if (i < p.size() && p[i] == ':') ++i;
        while (i < p.size() && p[i] != ':' && p[i] != '[' && p[i] != ']') {
            const char ch = p[i++];
            const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            // The short form is the upper-case (and digit) part before the first lower-case letter.
            if (n.shortForm.size() == n.longForm.size() &&
                !std::islower(static_cast<unsigned char>(ch)))
                n.shortForm += up;
            n.longForm += up;
        }
        if (i < p.size() && p[i] == ']') ++i;
        if (n.longForm.empty()) throw std::logic_error("bad command pattern " + pattern);
        c.nodes.push_back(std::move(n));
    }
    return c;
}

bool CommandTable::matches(const std::vector<Node>& pattern, std::size_t p,
                           const std::vector<std::string>& nodes, std::size_t n) {
    if (p == pattern.size()) return n == nodes.size();
    const Node& node = pattern[p];
    if (n < nodes.size() && (nodes[n] == node.shortForm || nodes[n] == node.longForm) &&
        matches(pattern, p + 1, nodes, n + 1))
        return true;
    return node.optional && matches(pattern, p + 1, nodes, n);
}

const CommandRow* CommandTable::find(const std::vector<std::string>& nodes, bool common,
                                     bool query) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Compiled& c = compiled_[i];
        if (c.common == common && c.query == query && matches(c.nodes, 0, nodes, 0))
            return &rows_[i];
    }
    return nullptr;
}

}  // namespace evkit::scpi
