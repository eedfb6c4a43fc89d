#include "platform/settings/MemoryRegistry.h"

#include <algorithm>

struct TMemoryRegistry::TState {
    TRegFileDocument Keys; // both roots, by full key name
    bool RefuseOpen = false;
    std::vector<std::string> RefusedReads;
    std::vector<std::string> RefusedWrites;
    std::vector<TWrite> Writes;
    int OpenKeys = 0;
};

namespace {

bool Listed(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const auto& n) { return RegNamesEqual(n, name); });
}

class TMemoryKey final : public TRegKey {
public:
    TMemoryKey(std::shared_ptr<TMemoryRegistry::TState> state, TRegRoot root, std::string path)
        : State(std::move(state)), Root(root), Path(std::move(path)), FullName(RegKeyFullName(Root, Path)) {
        ++State->OpenKeys;
    }
    ~TMemoryKey() override { --State->OpenKeys; }

    TRegStatus QueryValue(std::string_view name, TRegValue& value) override {
        if (Listed(State->RefusedReads, name))
            return TRegStatus::Failed;
        const TRegFileKey* key = State->Keys.FindKey(FullName);
        const TRegValue* found = key ? key->FindValue(name) : nullptr;
        if (!found)
            return TRegStatus::NotFound;
        value = *found;
        return TRegStatus::Ok;
    }

    bool SetValue(std::string_view name, const TRegValue& value) override {
        if (Listed(State->RefusedWrites, name))
            return false;
        State->Keys.ObtainKey(FullName).SetValue(name, value);
        State->Writes.push_back({Root, Path, std::string(name), value});
        return true;
    }

private:
    std::shared_ptr<TMemoryRegistry::TState> State;
    TRegRoot Root;
    std::string Path;
    std::string FullName;
};

} // namespace

TMemoryRegistry::TMemoryRegistry() : State(std::make_shared<TState>()) {}

std::unique_ptr<TRegKey> TMemoryRegistry::CreateKey(TRegRoot root, std::string_view path) {
    if (State->RefuseOpen || !IsValidRegKeyPath(path))
        return nullptr;
    State->Keys.ObtainKey(RegKeyFullName(root, path));
    return std::make_unique<TMemoryKey>(State, root, std::string(path));
}

void TMemoryRegistry::Put(TRegRoot root, std::string_view path, std::string_view name,
                          const TRegValue& value) {
    State->Keys.ObtainKey(RegKeyFullName(root, path)).SetValue(name, value);
}

std::optional<TRegValue> TMemoryRegistry::Get(TRegRoot root, std::string_view path,
                                              std::string_view name) const {
    const TRegFileKey* key = State->Keys.FindKey(RegKeyFullName(root, path));
    const TRegValue* value = key ? key->FindValue(name) : nullptr;
    return value ? std::optional(*value) : std::nullopt;
}

bool TMemoryRegistry::HasKey(TRegRoot root, std::string_view path) const {
    return State->Keys.FindKey(RegKeyFullName(root, path)) != nullptr;
}

void TMemoryRegistry::RefuseOpen(bool refuse) {
    State->RefuseOpen = refuse;
}

void TMemoryRegistry::RefuseRead(std::string name) {
    State->RefusedReads.push_back(std::move(name));
}

void TMemoryRegistry::RefuseWrite(std::string name) {
    State->RefusedWrites.push_back(std::move(name));
}

const std::vector<TMemoryRegistry::TWrite>& TMemoryRegistry::Writes() const {
    return State->Writes;
}

int TMemoryRegistry::OpenKeys() const {
    return State->OpenKeys;
}
