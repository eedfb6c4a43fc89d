#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

// One check of the readiness report: its name, verdict, a sentence that says
// what was found, and the figures it measured.
struct TCheckResult {
    QString Name;
    bool Ok = false;
    QString Detail;
    QJsonObject Figures;
};

// The device an audio check uses, as the pages choose it: the stored one
// where `devices` lists it (by its remembered server name `storedName` among
// `names` first, else by its number), otherwise the first. The stored number
// and the choice (number and name) go into the result's figures. `devices`
// must not be empty.
struct TStoredDevice {
    std::uint32_t Device;
    bool StoredListed; // false: the stored device is gone and the first is used
};
TStoredDevice PickStoredDevice(TCheckResult& result, const QStringList& devices,
                               const std::vector<std::string>& names, std::int32_t stored,
                               const std::string& storedName);

// The whole report, printed as short text or as JSON.
class TReport {
public:
    void Add(TCheckResult result) { m_checks.push_back(std::move(result)); }
    const std::vector<TCheckResult>& Checks() const { return m_checks; }
    bool Ok() const;

    // One line per check: verdict, name, detail.
    QString Text() const;
    // {"tool": ..., "version": ..., "ok": ..., "checks": [{"name", "ok", "detail", "figures"}]}
    QByteArray Json() const;

private:
    std::vector<TCheckResult> m_checks;
};
