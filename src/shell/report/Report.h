#pragma once

#include <QJsonObject>
#include <QString>

#include <vector>

// One check of the readiness report: its name, verdict, a sentence that says
// what was found, and the figures it measured.
struct TCheckResult {
    QString Name;
    bool Ok = false;
    QString Detail;
    QJsonObject Figures;
};

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
