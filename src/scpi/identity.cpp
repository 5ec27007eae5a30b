// The *IDN? fields of the board being served.
#include "scpi/instrument.h"
#include "support/version.h"

namespace evkit::scpi {

Identity makeIdentity(const std::string& model, const std::array<std::string, 3>& boardIds) {
    Identity id;
    id.model = model.empty() ? id.model : model;
    std::string serial;
    for (const auto& part : boardIds) serial += part;
    if (!serial.empty()) id.serial = serial;
    for (auto* field : {&id.model, &id.serial})
        for (char& c : *field)
            if (c == ',' || c == ';' || c == '\n' || c == '"') c = ' ';
    id.version = programVersion();
    return id;
}

}  // namespace evkit::scpi
