#include "shell/report/Report.h"

#include "BuildConfig.h"
#include "audio/devices/DeviceLists.h"

#include <QJsonArray>
#include <QJsonDocument>

TStoredDevice PickStoredDevice(TCheckResult& result, const QStringList& devices,
                               const std::vector<std::string>& names, std::int32_t stored,
                               const std::string& storedName) {
    using tavora::audio::TStoredChoice;
    const TStoredChoice choice =
        tavora::audio::FindStoredDevice(stored, storedName, int(devices.size()), names);
    result.Figures["stored_device"] = stored;
    result.Figures["device"] = choice.Entry;
    result.Figures["device_name"] = devices[choice.Entry];
    return {static_cast<std::uint32_t>(choice.Entry), choice.Match != TStoredChoice::Default};
}

bool TReport::Ok() const {
    for (const TCheckResult& check : m_checks)
        if (!check.Ok)
            return false;
    return true;
}

QString TReport::Text() const {
    QString text;
    for (const TCheckResult& check : m_checks)
        text += QString("%1  %2  %3\n")
                    .arg(check.Ok ? "PASS" : "FAIL", check.Name.leftJustified(10), check.Detail);
    text += Ok() ? "Ready: every check passed.\n" : "Not ready: see the failed checks above.\n";
    return text;
}

QByteArray TReport::Json() const {
    QJsonArray checks;
    for (const TCheckResult& check : m_checks)
        checks.append(QJsonObject{
            {"name", check.Name}, {"ok", check.Ok}, {"detail", check.Detail}, {"figures", check.Figures}});
    const QJsonObject root{{"tool", "tavora-wizard"},
                           {"version", QString::fromUtf8(BuildConfig::Version)},
                           {"ok", Ok()},
                           {"checks", checks}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
