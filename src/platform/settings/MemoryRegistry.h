#pragma once

// A registry held in memory. The headless report reads the settings from a
// snapshot of this kind, so that nothing it does can write the real file.
// For tests it can refuse to open keys, to read or to write values of given
// names, and it records every write in order.

#include "platform/settings/RegFile.h"
#include "platform/settings/Registry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavora {

class MemoryRegistry final : public Registry {
public:
    struct Write {
        RegRoot root;
        std::string path;
        std::string name;
        RegValue value;
    };

    MemoryRegistry();

    std::unique_ptr<RegKey> createKey(RegRoot root, std::string_view path) override;

    // Direct access, bypassing failure injection and the write record.
    void put(RegRoot root, std::string_view path, std::string_view name, const RegValue& value);
    std::optional<RegValue> get(RegRoot root, std::string_view path, std::string_view name) const;
    bool hasKey(RegRoot root, std::string_view path) const;

    void refuseOpen(bool refuse);
    void refuseRead(std::string name);
    void refuseWrite(std::string name);

    const std::vector<Write>& writes() const;
    // Keys opened and not yet closed.
    int openKeys() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace tavora
