#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace tavora {

// One check of the readiness report: its name, verdict, a sentence that says
// what was found, and the figures it measured.
struct CheckResult {
    QString name;
    bool ok = false;
    QString detail;
    QJsonObject figures;
};

// The device an audio check uses, as the pages choose it: the stored one
// where `devices` lists it (by its remembered server name `storedName` among
// `names` first, else by its number), otherwise the first. The stored number
// and the choice (number and name) go into the result's figures. `devices`
// must not be empty.
struct StoredDevice {
    std::uint32_t device;
    bool storedListed; // false: the stored device is gone and the first is used
};
StoredDevice pickStoredDevice(CheckResult& result, const QStringList& devices,
                               const std::vector<std::string>& names, std::int32_t stored,
                               const std::string& storedName);

// The whole report, printed as short text or as JSON.
class Report {
public:
    void add(CheckResult result) { checks_.push_back(std::move(result)); }
    const std::vector<CheckResult>& checks() const { return checks_; }
    bool ok() const;

    // One line per check: verdict, name, detail.
    QString text() const;
    // {"tool": ..., "version": ..., "ok": ..., "checks": [{"name", "ok", "detail", "figures"}]}
    QByteArray json() const;

private:
    std::vector<CheckResult> checks_;
};

} // namespace tavora
