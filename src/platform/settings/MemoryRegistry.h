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

class TMemoryRegistry final : public TRegistry {
public:
    struct TWrite {
        TRegRoot Root;
        std::string Path;
        std::string Name;
        TRegValue Value;
    };

    TMemoryRegistry();

    std::unique_ptr<TRegKey> CreateKey(TRegRoot root, std::string_view path) override;

    // Direct access, bypassing failure injection and the write record.
    void Put(TRegRoot root, std::string_view path, std::string_view name, const TRegValue& value);
    std::optional<TRegValue> Get(TRegRoot root, std::string_view path, std::string_view name) const;
    bool HasKey(TRegRoot root, std::string_view path) const;

    void RefuseOpen(bool refuse);
    void RefuseRead(std::string name);
    void RefuseWrite(std::string name);

    const std::vector<TWrite>& Writes() const;
    // Keys opened and not yet closed.
    int OpenKeys() const;

    struct TState;

private:
    std::shared_ptr<TState> State;
};
