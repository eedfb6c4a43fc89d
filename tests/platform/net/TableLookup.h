#pragma once

#include "platform/net/SocketErrors.h"
#include "platform/net/SocketStack.h"

#include <string>
#include <vector>

namespace tavora {

namespace testnet {

// Makes the live socket layer answer name lookups from a fixed table instead
// of the name service, so no query leaves the machine: "classroom.test" is
// 127.0.0.5, every other name is unknown. Each name asked is added to `log`.
inline void installTableLookup(std::vector<std::string>& log) {
    SocketStack::instance("test").setHostLookup([&log](const std::string& name) {
        log.push_back(name);
        if (name == "classroom.test")
            return LookupResult{IPv4Bytes{127, 0, 0, 5}, 0};
        return LookupResult{std::nullopt, WinsockError::HostNotFound};
    });
}

} // namespace testnet

} // namespace tavora
