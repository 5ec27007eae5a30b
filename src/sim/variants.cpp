#include "sim/variants.h"

#include <cctype>

namespace evkit::sim {

const std::vector<Variant>& variants() {
    static const std::vector<Variant> table = {
        {"PM7010A", 0x000300, 0x00000000, 0, 10},
        {"PM7011A-A", 0x000000, 0x01070000, 0, 11},
        {"PM7011A-B", 0x000000, 0x50D70300, 0, 11},
        {"PM7011-12", 0x000000, 0x01700100, 0, 12},
        {"PM7013-A", 0x000000, 0x01070C00, 0, 13},
        {"PM7013-B", 0x000000, 0x50D70400, 0, 13},
        {"PM7013-C", 0x000000, 0x50D70330, 0, 13},
        {"PM7014-A", 0x000000, 0x50D75E90, 0, 14},
        {"PM7014-B", 0x000000, 0x50D765D0, 0, 14},
        {"PM7014-C", 0x000000, 0x50D76050, 0, 14},
        {"PM7014-C1", 0x000000, 0x50D75BA0, 0x800, 14},
        {"PM7017-C1", 0x000000, 0x50D75BA0, 0, 17},
        {"UNKNOWN", 0x000000, 0x12345678, 0, 0},
    };
    return table;
}

const Variant* findVariant(std::string_view name) {
    for (const auto& v : variants()) {
        if (v.name.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(name[i])) ==
                   std::toupper(static_cast<unsigned char>(v.name[i]));
        if (same) return &v;
    }
    return nullptr;
}

}  // namespace evkit::sim
