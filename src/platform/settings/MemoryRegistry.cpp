#include "platform/settings/MemoryRegistry.h"

#include <algorithm>

namespace tavora {

struct MemoryRegistry::State {
    RegFileDocument keys; // both roots, by full key name
    bool refuseOpen = false;
    std::vector<std::string> refusedReads;
    std::vector<std::string> refusedWrites;
    std::vector<Write> writes;
    int openKeys = 0;
};

namespace {

bool listed(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const auto& n) { return regNamesEqual(n, name); });
}

class MemoryKey final : public RegKey {
public:
    MemoryKey(std::shared_ptr<MemoryRegistry::State> state, RegRoot root, std::string path)
        : state_(std::move(state)), root_(root), path_(std::move(path)), fullName_(regKeyFullName(root, path_)) {
        ++state_->openKeys;
    }
    ~MemoryKey() override { --state_->openKeys; }

    RegStatus queryValue(std::string_view name, RegValue& value) override {
        if (listed(state_->refusedReads, name))
            return RegStatus::Failed;
        const RegFileKey* key = state_->keys.findKey(fullName_);
        const RegValue* found = key ? key->findValue(name) : nullptr;
        if (!found)
            return RegStatus::NotFound;
        value = *found;
        return RegStatus::Ok;
    }

    bool setValue(std::string_view name, const RegValue& value) override {
        if (listed(state_->refusedWrites, name))
            return false;
        state_->keys.obtainKey(fullName_).setValue(name, value);
        state_->writes.push_back({root_, path_, std::string(name), value});
        return true;
    }

private:
    std::shared_ptr<MemoryRegistry::State> state_;
    RegRoot root_;
    std::string path_;
    std::string fullName_;
};

} // namespace

MemoryRegistry::MemoryRegistry() : state_(std::make_shared<State>()) {}

std::unique_ptr<RegKey> MemoryRegistry::createKey(RegRoot root, std::string_view path) {
    if (state_->refuseOpen || !isValidRegKeyPath(path))
        return nullptr;
    state_->keys.obtainKey(regKeyFullName(root, path));
    return std::make_unique<MemoryKey>(state_, root, std::string(path));
}

void MemoryRegistry::put(RegRoot root, std::string_view path, std::string_view name,
                          const RegValue& value) {
    state_->keys.obtainKey(regKeyFullName(root, path)).setValue(name, value);
}

std::optional<RegValue> MemoryRegistry::get(RegRoot root, std::string_view path,
                                              std::string_view name) const {
    const RegFileKey* key = state_->keys.findKey(regKeyFullName(root, path));
    const RegValue* value = key ? key->findValue(name) : nullptr;
    return value ? std::optional(*value) : std::nullopt;
}

bool MemoryRegistry::hasKey(RegRoot root, std::string_view path) const {
    return state_->keys.findKey(regKeyFullName(root, path)) != nullptr;
}

void MemoryRegistry::refuseOpen(bool refuse) {
    state_->refuseOpen = refuse;
}

void MemoryRegistry::refuseRead(std::string name) {
    state_->refusedReads.push_back(std::move(name));
}

void MemoryRegistry::refuseWrite(std::string name) {
    state_->refusedWrites.push_back(std::move(name));
}

const std::vector<MemoryRegistry::Write>& MemoryRegistry::writes() const {
    return state_->writes;
}

int MemoryRegistry::openKeys() const {
    return state_->openKeys;
}

} // namespace tavora
